// The owner closing while an update runs: every wait and pause ends at once, silently.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "engine/update_sequence.h"
#include "tests/support/engine_rig.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void ExpectEndedSilently(const EngineRig& rig) {
  EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  EXPECT_EQ(rig.view.Count(ViewCall::kRestore), 0);
  EXPECT_EQ(rig.view.Count(ViewCall::kEnableExecute), 0);
}

struct AbortCase {
  const char* name;
  RequestKind silentOn;     // the device never answers this kind of request
  RequestKind pausedAfter;  // or: answers it, and the worker pauses after the answer
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const AbortCase& c, std::ostream* out) {
  *out << c.name;
}

class AbortWhileWaiting : public ::testing::TestWithParam<AbortCase> {};

TEST_P(AbortWhileWaiting, EndsTheUpdateAtOnceWithoutABox) {
  const AbortCase& c = GetParam();
  Timing timing = LongWaits();
  if (c.pausedAfter == RequestKind::kBeginUpdate) timing.beginPause = 30s;
  if (c.pausedAfter == RequestKind::kEraseFlash || c.pausedAfter == RequestKind::kWriteBlock) {
    timing.retryPause = 30s;
  }
  EngineRig rig(timing);
  if (c.silentOn != RequestKind::kOther) rig.device.On(c.silentOn, Never());
  if (c.pausedAfter == RequestKind::kEraseFlash || c.pausedAfter == RequestKind::kWriteBlock) {
    rig.device.On(c.pausedAfter, AlwaysStatus(1));
  }
  const RequestKind awaited = c.silentOn != RequestKind::kOther ? c.silentOn : c.pausedAfter;
  rig.StartUpdate();
  ASSERT_TRUE(rig.AwaitRequests(awaited));
  // Time for an answer to arrive, so a pause has begun.
  std::this_thread::sleep_for(20ms);
  const auto requestsBefore = rig.device.Sent().size();
  const auto start = Clock::now();
  rig.context.Abort();
  rig.JoinUpdate();

  EXPECT_LT(Clock::now() - start, 5s);
  ExpectEndedSilently(rig);
  EXPECT_EQ(rig.device.Sent().size(), requestsBefore);
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kStopped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AbortWhileWaiting,
    ::testing::Values(
        AbortCase{"Identity", RequestKind::kIdentityRequest, RequestKind::kOther},
        AbortCase{"Begin", RequestKind::kBeginUpdate, RequestKind::kOther},
        AbortCase{"BootCheck", RequestKind::kReadFlash, RequestKind::kOther},
        AbortCase{"Erase", RequestKind::kEraseFlash, RequestKind::kOther},
        AbortCase{"Block", RequestKind::kWriteBlock, RequestKind::kOther},
        AbortCase{"Finish", RequestKind::kFinishUpdate, RequestKind::kOther},
        AbortCase{"PauseAfterBegin", RequestKind::kOther, RequestKind::kBeginUpdate},
        AbortCase{"PauseBetweenErases", RequestKind::kOther, RequestKind::kEraseFlash},
        AbortCase{"PauseBetweenBlocks", RequestKind::kOther, RequestKind::kWriteBlock}),
    [](const auto& info) { return std::string(info.param.name); });

// The abort came before the request that the worker would have waited for: the reset of the
// event before that request must not swallow it.
TEST(Abort, BeforeTheWorkerStartsIsNotLost) {
  EngineRig rig(LongWaits());
  rig.context.Abort();
  // A device answer after the abort overwrites the status; closing still wins.
  rig.queue.Push(StatusMessage(0));
  rig.StartUpdate();
  const auto start = Clock::now();
  rig.JoinUpdate();
  EXPECT_LT(Clock::now() - start, 5s);
  ExpectEndedSilently(rig);
  EXPECT_LE(rig.device.Sent().size(), 1u);
}

TEST(Abort, LateAnswerAfterTheAbortDoesNotResumeTheUpdate) {
  EngineRig rig(LongWaits());
  rig.device.On(RequestKind::kWriteBlock, [](const Bytes&, int32_t) {
    return std::vector<Reply>{{StatusMessage(0), 50ms}};
  });
  rig.StartUpdate();
  ASSERT_TRUE(rig.AwaitRequests(RequestKind::kWriteBlock));
  rig.context.Abort();
  rig.JoinUpdate();
  std::this_thread::sleep_for(100ms);
  ExpectEndedSilently(rig);
  EXPECT_EQ(rig.device.Count(RequestKind::kWriteBlock), 1);
  EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
}

TEST(Abort, FailureRacingTheAbortShowsNoBox) {
  // The identity send fails because the owner has closed its port and aborted.
  EngineRig rig(LongWaits());
  rig.device.SetSendResult(SendResult::kFailed);
  rig.context.Abort();
  rig.RunUpdate();
  ExpectEndedSilently(rig);
}

// The input port learns that the device has gone while the worker waits for an answer: the wait
// ends at once (the waits here are long enough that a time-out would end the test first), with
// the text of a send that found the device gone.
class DeviceGoneWhileWaiting : public ::testing::TestWithParam<AbortCase> {};

TEST_P(DeviceGoneWhileWaiting, EndsTheUpdateWithTheOutputsText) {
  const AbortCase& c = GetParam();
  EngineRig rig(LongWaits());
  rig.device.On(c.silentOn, Never());
  rig.StartUpdate();
  ASSERT_TRUE(rig.AwaitRequests(c.silentOn));
  const auto requestsBefore = rig.device.Sent().size();
  rig.context.DeviceGone();
  rig.JoinUpdate();

  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Can't open MIDI Out device."});
  EXPECT_EQ(rig.device.Sent().size(), requestsBefore);
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceGoneWhileWaiting,
    ::testing::Values(AbortCase{"Identity", RequestKind::kIdentityRequest, RequestKind::kOther},
                      AbortCase{"Erase", RequestKind::kEraseFlash, RequestKind::kOther},
                      AbortCase{"Block", RequestKind::kWriteBlock, RequestKind::kOther},
                      AbortCase{"Finish", RequestKind::kFinishUpdate, RequestKind::kOther}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::test
