// The owner closing while an update runs: every wait and pause ends at once, silently.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/update_sequence.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"

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
  const char* fault;    // a fault rule, or nullptr
  RequestKind awaited;  // the worker waits for its answer, or pauses after it
  // The pause that follows that answer, made long enough that only the abort ends it.
  std::chrono::milliseconds Timing::*pause = nullptr;
};

using test::PrintTo;

class AbortWhileWaiting : public ::testing::TestWithParam<AbortCase> {};

TEST_P(AbortWhileWaiting, EndsTheUpdateAtOnceWithoutABox) {
  const AbortCase& c = GetParam();
  Timing timing = LongWaits();
  if (c.pause) timing.*c.pause = 30s;
  EngineRig rig(timing);
  if (c.fault) rig.AddFaults({c.fault});
  rig.StartUpdate();
  ASSERT_TRUE(rig.AwaitRequests(c.awaited));
  // Time for an answer to arrive, so a pause has begun.
  std::this_thread::sleep_for(20ms);
  const auto requestsBefore = rig.device.Received().size();
  const auto start = Clock::now();
  rig.context.Abort();
  rig.JoinUpdate();

  EXPECT_LT(Clock::now() - start, 5s);
  ExpectEndedSilently(rig);
  EXPECT_EQ(rig.device.Received().size(), requestsBefore);
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kStopped);
}

// Each wait for an answer that never comes; the device going ends them as the abort does.
const AbortCase kWaits[] = {
    {"Identity", "ignore,kind=identity,count=all", RequestKind::kIdentityRequest},
    {"Begin", "ignore,kind=begin,count=all", RequestKind::kBeginUpdate},
    {"BootCheck", "ignore,kind=read,count=all", RequestKind::kReadFlash},
    {"Erase", "ignore,kind=erase,count=all", RequestKind::kEraseFlash},
    {"Block", "ignore,kind=write,count=all", RequestKind::kWriteBlock},
    {"Finish", "ignore,kind=finish,count=all", RequestKind::kFinishUpdate},
};

INSTANTIATE_TEST_SUITE_P(Table, AbortWhileWaiting, ::testing::ValuesIn(kWaits),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Pauses, AbortWhileWaiting,
    ::testing::Values(AbortCase{"PauseAfterBegin", nullptr, RequestKind::kBeginUpdate,
                                &Timing::beginPause},
                      AbortCase{"PauseBetweenErases", "status=1,kind=erase,count=all",
                                RequestKind::kEraseFlash, &Timing::retryPause},
                      AbortCase{"PauseBetweenBlocks", "status=1,kind=write,count=all",
                                RequestKind::kWriteBlock, &Timing::retryPause}),
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
  EXPECT_LE(rig.device.Received().size(), 1u);
}

TEST(Abort, LateAnswerAfterTheAbortDoesNotResumeTheUpdate) {
  EngineRig rig(LongWaits());
  rig.AddFaults({"delay=50,kind=write,count=all"});
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
  rig.SetSendResult(SendResult::kFailed);
  rig.context.Abort();
  rig.RunUpdate();
  ExpectEndedSilently(rig);
  EXPECT_TRUE(rig.device.Received().empty());
}

// The input port learns that the device has gone while the worker waits for an answer: the wait
// ends at once (the waits here are long enough that a time-out would end the test first), with
// the text of a send that found the device gone.
class DeviceGoneWhileWaiting : public ::testing::TestWithParam<AbortCase> {};

TEST_P(DeviceGoneWhileWaiting, EndsTheUpdateWithTheOutputsText) {
  const AbortCase& c = GetParam();
  EngineRig rig(LongWaits());
  if (c.fault) rig.AddFaults({c.fault});
  rig.StartUpdate();
  ASSERT_TRUE(rig.AwaitRequests(c.awaited));
  const auto requestsBefore = rig.device.Received().size();
  rig.context.DeviceGone();
  rig.JoinUpdate();

  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Can't open MIDI Out device."});
  EXPECT_EQ(rig.device.Received().size(), requestsBefore);
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kFailed);
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceGoneWhileWaiting, ::testing::ValuesIn(kWaits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::test
