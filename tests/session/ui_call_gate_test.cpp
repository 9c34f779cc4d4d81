#include "session/ui_call_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "tests/session/ui_queue.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// The test's thread is the UI thread: it runs what the gate posts while it pumps.
class UiCallGateTest : public testing::Test {
 protected:
  UiQueue m_ui;
  UiCallGate m_gate{[this](std::function<void()> call) { m_ui.Post(std::move(call)); }};
};

TEST_F(UiCallGateTest, PostedCallsRunOnTheUiThreadInOrder) {
  std::vector<int> order;
  std::atomic<bool> allOnUiThread{true};
  const std::thread::id ui = std::this_thread::get_id();
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      m_gate.Post([&, i] {
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == ui;
        order.push_back(i);
      });
    }
  });
  worker.join();
  EXPECT_TRUE(m_ui.PumpUntil([&] { return order.size() == 3; }, 5s));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(allOnUiThread);
}

TEST_F(UiCallGateTest, RunReturnsOnceTheCallHasRun) {
  bool ran = false;
  auto finished = std::async(std::launch::async, [&] { m_gate.Run([&] { ran = true; }); });
  EXPECT_TRUE(
      m_ui.PumpUntil([&] { return finished.wait_for(0s) == std::future_status::ready; }, 5s));
  EXPECT_TRUE(ran);
}

// A call that does not end by itself (a box nobody dismisses) must not hold the worker once the
// window closes: the gate closes while the call is still on the UI thread's stack.
TEST_F(UiCallGateTest, CloseReleasesAWorkerWaitingOnACall) {
  std::atomic<bool> released{false};
  bool releasedWhileCallRan = false;
  std::thread worker([&] {
    m_gate.Run([&] {
      m_gate.Close();
      releasedWhileCallRan = m_ui.PumpUntil([&] { return released.load(); }, 10s);
    });
    released = true;
  });
  EXPECT_TRUE(m_ui.PumpUntil([&] { return released.load(); }, 10s));
  worker.join();
  EXPECT_TRUE(releasedWhileCallRan);
}

TEST_F(UiCallGateTest, NothingRunsOnceClosed) {
  int runs = 0;
  std::thread([&] { m_gate.Post([&] { ++runs; }); }).join();  // queued before the close
  m_gate.Close();
  std::thread([&] {
    m_gate.Post([&] { ++runs; });
    m_gate.Run([&] { ++runs; });  // returns at once
  }).join();
  m_ui.PumpFor(50ms);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(m_gate.IsClosed());
}

// Calls still on their way when the gate is gone find it closed, not freed.
TEST_F(UiCallGateTest, CallsOutliveTheGate) {
  UiQueue ui;
  int runs = 0;
  {
    UiCallGate gate([&](std::function<void()> call) { ui.Post(std::move(call)); });
    std::thread([&] { gate.Post([&] { ++runs; }); }).join();
    gate.Close();
  }
  ui.PumpFor(20ms);
  EXPECT_EQ(runs, 0);
}

}  // namespace
}  // namespace tarn::test
