// The session over the real port classes, the real 1 ms timer and the loopback device: the
// same path the dialog and the command line take, with the virtual device at the far end.
#include "session/update_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "firmware/embedded_images.h"
#include "midi/platform/platform.h"
#include "sim/plan_expectations.h"
#include "sim/virtual_device.h"
#include "tests/midi/scripted_backend.h"
#include "tests/support/product_loopback.h"
#include "tests/support/recording_observer.h"
#include "tests/support/wait_until.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

class SessionTest : public testing::Test {
 protected:
  // The loopback device is the only one: index 0 on both sides.
  void OpenAndStart(UpdateSession& session) {
    session.StartDispatcher();
    ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
    ASSERT_TRUE(session.StartUpdate());
  }

  sim::VirtualDevice m_device;
  test::ProductLoopback m_loopback{m_device};
  test::RecordingObserver m_view;
};

TEST_F(SessionTest, ListsTheLoopbackDeviceOnBothSides) {
  UpdateSession session(EmbeddedImages(), m_view);
  EXPECT_EQ(session.InputNames(), std::vector<std::string>{"DAXO Tarn Series"});
  EXPECT_EQ(session.OutputNames(), std::vector<std::string>{"DAXO Tarn Series"});
}

TEST_F(SessionTest, SecondSessionOnOneDeviceIsRefusedUntilTheFirstCloses) {
  UpdateSession first(EmbeddedImages(), m_view);
  UpdateSession second(EmbeddedImages(), m_view);
  ASSERT_EQ(first.InputNames().size(), 1u);
  ASSERT_EQ(first.OutputNames().size(), 1u);
  ASSERT_EQ(first.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  EXPECT_EQ(first.LockHolder(), "");
  // As an output that cannot be opened: the dialog shows its own text for it.
  EXPECT_EQ(second.OpenPorts(0, 0), UpdateSession::OpenResult::kOutputFailed);
  EXPECT_NE(second.LockHolder().find("process "), std::string::npos) << second.LockHolder();
  first.RequestStop();
  EXPECT_EQ(second.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  EXPECT_EQ(second.LockHolder(), "");
}

// Answers dispatched as they arrive, and left to the tick: either way every answer is taken.
class SessionDispatchTest : public SessionTest, public testing::WithParamInterface<bool> {};

TEST_P(SessionDispatchTest, FullUpdateLeavesTheImagesInFlash) {
  std::vector<std::string> trace;
  std::mutex traceMutex;
  UpdateSession session(EmbeddedImages(), m_view);
  session.SetDispatchOnArrival(GetParam());
  session.SetTrace([&](TraceDirection direction, std::span<const uint8_t> bytes) {
    std::lock_guard lock(traceMutex);
    if (trace.size() < 2) {
      std::string line = direction == TraceDirection::kToDevice ? ">" : "<";
      for (uint8_t byte : bytes)
        line += " " + std::to_string(byte);
      trace.push_back(line);
    }
  });
  OpenAndStart(session);
  ASSERT_TRUE(m_view.WaitFor(test::ViewCall::kRestore, 120s));
  session.WaitForWorker();

  EXPECT_EQ(m_view.Calls(), (std::vector<std::string>{"RestoreControls", "EnableExecute(false)"}));
  ASSERT_FALSE(m_view.StatusTexts().empty());
  EXPECT_EQ(m_view.StatusTexts().back(), "Version update completed.");
  EXPECT_EQ(m_view.Texts(test::ViewCall::kStep).back(), "10/10");
  const auto check = m_device.VerifyFlash(sim::PlanExpectations(EmbeddedImages()));
  EXPECT_TRUE(check.ok) << check.summary;
  std::lock_guard lock(traceMutex);
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_EQ(trace[0], "> 240 126 0 6 1 247");
  EXPECT_EQ(trace[1].substr(0, 16), "< 240 126 0 6 2 ");
}

INSTANTIATE_TEST_SUITE_P(Dispatch, SessionDispatchTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "OnArrival" : "OnTick";
                         });

TEST_F(SessionTest, StoppingMidUpdateEndsSilentlyAndSendsNothingMore) {
  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    test::RecordingObserver view;
    UpdateSession session(EmbeddedImages(), view);
    OpenAndStart(session);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
    session.RequestStop();
    session.WaitForWorker();
    ASSERT_TRUE(m_device.WaitIdle(5s));
    const size_t received = m_device.Received().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(m_device.Received().size(), received) << "round " << round;
    EXPECT_EQ(view.Count(test::ViewCall::kError), 0) << "round " << round;
  }
}

// A device that went away and came back is updated after the ports are opened again, as after
// "Rescan Device" in the dialog.
TEST_F(SessionTest, ADeviceGoneBeforeIsUpdatedOnceThePortsOpenAgain) {
  UpdateSession session(EmbeddedImages(), m_view);
  session.StartDispatcher();
  ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  session.Context().DeviceGone();
  ASSERT_TRUE(session.StartUpdate());
  session.WaitForWorker();
  ASSERT_EQ(m_view.Texts(test::ViewCall::kError),
            (std::vector<std::string>{"Can't open MIDI Out device."}));

  ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  ASSERT_TRUE(session.StartUpdate());
  session.WaitForWorker();
  EXPECT_EQ(m_view.Texts(test::ViewCall::kError).size(), 1u);
  ASSERT_FALSE(m_view.StatusTexts().empty());
  EXPECT_EQ(m_view.StatusTexts().back(), "Version update completed.");
}

// Between updates the tick rests until something arrives: what the device asks is still
// answered, whether it came before the dispatcher started, before the first update or after
// one has ended.
TEST_F(SessionTest, ADeviceIsAnsweredBetweenUpdates) {
  UpdateSession session(EmbeddedImages(), m_view);
  auto ask = [this] { m_device.SendUnsolicited(sim::Unsolicited::kIdentityRequest); };
  // The host's identity replies the device has received, once there are `expected` of them or
  // after 10 s.
  auto answers = [this](size_t expected) {
    const std::vector<uint8_t> reply{0xF0, 0x7E, 0x00, 0x06, 0x02};
    auto count = [&] {
      size_t replies = 0;
      for (const sim::ReceivedMessage& message : m_device.Received())
        replies += message.bytes->size() > reply.size() &&
                   std::equal(reply.begin(), reply.end(), message.bytes->begin());
      return replies;
    };
    test::WaitUntil([&] { return count() >= expected; });
    return count();
  };
  ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  ask();
  ASSERT_TRUE(m_device.WaitIdle(5s));
  session.StartDispatcher();
  EXPECT_EQ(answers(1), 1u);
  ask();
  EXPECT_EQ(answers(2), 2u);
  // An update that ends early, on a device that went away.
  session.Context().DeviceGone();
  ASSERT_TRUE(session.StartUpdate());
  session.WaitForWorker();
  ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
  ask();
  EXPECT_EQ(answers(3), 3u);
}

TEST_F(SessionTest, PortsThatCannotOpenAreReportedBySide) {
  UpdateSession session(EmbeddedImages(), m_view);
  EXPECT_EQ(session.OpenPorts(0, 5), UpdateSession::OpenResult::kOutputFailed);
  EXPECT_EQ(session.OpenPorts(-1, 0), UpdateSession::OpenResult::kInputFailed);
  EXPECT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
}

// Devices that come and go between the list and the open: the indices still mean the devices
// the list showed, as the user chose them from it.
class SessionPortsTest : public testing::Test {
 protected:
  SessionPortsTest() {
    auto backend = std::make_unique<test::ScriptedBackend>();
    m_backend = backend.get();
    m_backend->SetInputs({{"First", "in-1"}, {"Second", "in-2"}});
    m_backend->SetOutputs({{"First", "out-1"}, {"Second", "out-2"}});
    std::vector<std::unique_ptr<platform::Backend>> backends;
    backends.push_back(std::move(backend));
    platform::SetBackends(std::move(backends));
  }
  ~SessionPortsTest() override { platform::SetBackends(platform::DefaultBackends()); }

  test::ScriptedBackend* m_backend = nullptr;
  test::RecordingObserver m_view;
};

TEST_F(SessionPortsTest, OpenPortsOpensTheDevicesTheLastListNamed) {
  UpdateSession session(EmbeddedImages(), m_view);
  EXPECT_EQ(session.InputNames(), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(session.OutputNames(), (std::vector<std::string>{"First", "Second"}));
  m_backend->SetInputs({{"Second", "in-2"}});
  m_backend->SetOutputs({{"Second", "out-2"}});
  ASSERT_EQ(session.OpenPorts(1, 1), UpdateSession::OpenResult::kOpened);
  EXPECT_EQ(m_backend->Opened(), (std::vector<std::string>{"out-2", "in-2"}));
  session.RequestStop();
  // The next list shows what is there now.
  EXPECT_EQ(session.OutputNames(), std::vector<std::string>{"Second"});
}

}  // namespace
}  // namespace tarn
