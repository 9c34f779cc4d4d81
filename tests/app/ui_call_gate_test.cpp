#include "app/ui_call_gate.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <future>
#include <thread>

namespace tarn {
namespace {

using namespace std::chrono_literals;

TEST(UiCallGate, PostedCallsRunOnTheUiThreadInOrder) {
  QObject receiver;
  UiCallGate gate(&receiver);
  std::vector<int> order;
  std::atomic<bool> allOnUiThread{true};
  QThread* ui = QThread::currentThread();
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      gate.Post([&, i] {
        allOnUiThread = allOnUiThread && QThread::currentThread() == ui;
        order.push_back(i);
      });
    }
  });
  worker.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() == 3; }, 5000));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(allOnUiThread);
}

TEST(UiCallGate, RunReturnsOnceTheCallHasRun) {
  QObject receiver;
  UiCallGate gate(&receiver);
  bool ran = false;
  auto finished = std::async(std::launch::async, [&] { gate.Run([&] { ran = true; }); });
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return finished.wait_for(0s) == std::future_status::ready; }, 5000));
  EXPECT_TRUE(ran);
}

// A call that does not end by itself (a box nobody dismisses) must not hold the worker once the
// window closes: the gate closes while the call is still on the UI thread's stack.
TEST(UiCallGate, CloseReleasesAWorkerWaitingOnACall) {
  QObject receiver;
  UiCallGate gate(&receiver);
  std::atomic<bool> released{false};
  bool releasedWhileCallRan = false;
  std::thread worker([&] {
    gate.Run([&] {
      QTimer::singleShot(20, [&] { gate.Close(); });
      releasedWhileCallRan = QTest::qWaitFor([&] { return released.load(); }, 10000);
    });
    released = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return released.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(releasedWhileCallRan);
}

TEST(UiCallGate, NothingRunsOnceClosed) {
  QObject receiver;
  UiCallGate gate(&receiver);
  int runs = 0;
  std::thread([&] { gate.Post([&] { ++runs; }); }).join();  // queued before the close
  gate.Close();
  std::thread([&] {
    gate.Post([&] { ++runs; });
    gate.Run([&] { ++runs; });  // returns at once
  }).join();
  QTest::qWait(50);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(gate.IsClosed());
}

}  // namespace
}  // namespace tarn
