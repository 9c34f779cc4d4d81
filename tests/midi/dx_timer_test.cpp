#include <gtest/gtest.h>

#include "midi/dx_timer.h"
#include "tests/midi/counting_timer.h"
#include "tests/midi/fake_fixture.h"

namespace tarn::test {
namespace {

constexpr UINT kEventFlags = TIME_PERIODIC | TIME_KILL_SYNCHRONOUS;
const std::string kSetEvent = "timeSetEvent 1 1 " + std::to_string(kEventFlags);

using DxMTimerTest = FakePlatformTest;

TEST_F(DxMTimerTest, StartRequestsTheResolutionThenCreatesTheEvent) {
  CDxMTimer timer;
  EXPECT_EQ(fake.Calls(), (Calls{"timeGetDevCaps"}));
  fake.ClearCalls();
  std::atomic<int> ticks{0};
  const UINT id = timer.Start(1, CountTick, reinterpret_cast<DWORD_PTR>(&ticks));
  EXPECT_NE(id, 0u);
  EXPECT_EQ(timer.TimerId(), id);
  EXPECT_EQ(fake.Calls(), (Calls{"timeBeginPeriod 1", kSetEvent}));
  fake.Tick(id);
  EXPECT_EQ(ticks, 1);
  fake.ClearCalls();
  EXPECT_EQ(timer.Stop(), 1);
  EXPECT_EQ(timer.TimerId(), 0u);
  EXPECT_EQ(fake.Calls(), (Calls{"timeKillEvent " + std::to_string(id), "timeEndPeriod 1"}));
}

TEST_F(DxMTimerTest, StartOnARunningTimerEndsTheOldEventFirst) {
  CDxMTimer timer;
  const UINT first = timer.Start(1);
  fake.ClearCalls();
  const UINT second = timer.Start(1);
  EXPECT_EQ(fake.Calls(), (Calls{"timeKillEvent " + std::to_string(first), "timeEndPeriod 1",
                                 "timeBeginPeriod 1", kSetEvent}));
  EXPECT_FALSE(fake.EventRuns(first));
  EXPECT_TRUE(fake.EventRuns(second));
}

TEST_F(DxMTimerTest, WakeReachesOnlyTheRunningEvent) {
  CDxMTimer timer;
  fake.ClearCalls();
  timer.Wake();
  EXPECT_TRUE(fake.Calls().empty());
  const UINT first = timer.Start(1);
  const UINT second = timer.Start(1);
  fake.ClearCalls();
  timer.Wake();
  timer.Stop();
  timer.Wake();
  EXPECT_NE(first, second);
  EXPECT_EQ(fake.Calls(), (Calls{"WakeTimerEvent " + std::to_string(second),
                                 "timeKillEvent " + std::to_string(second), "timeEndPeriod 1"}));
}

std::string Rest(UINT id, bool resting) {
  return "RestTimerEvent " + std::to_string(id) + (resting ? " 1" : " 0");
}

// Resting belongs to the timer: it reaches the running event and every event started later.
TEST_F(DxMTimerTest, RestingReachesTheRunningEventAndEveryLaterOne) {
  CDxMTimer timer;
  fake.ClearCalls();
  timer.SetResting(true);
  EXPECT_TRUE(fake.Calls().empty());
  const UINT first = timer.Start(1);
  EXPECT_EQ(fake.Calls(), (Calls{"timeBeginPeriod 1", kSetEvent, Rest(first, true),
                                 "WakeTimerEvent " + std::to_string(first)}));
  fake.ClearCalls();
  timer.SetResting(false);
  const UINT second = timer.Start(1);
  timer.SetResting(true);
  const UINT third = timer.Start(1);
  timer.Stop();
  timer.SetResting(false);
  const std::string endPeriod = "timeEndPeriod 1";
  EXPECT_EQ(fake.Calls(),
            (Calls{Rest(first, false), "timeKillEvent " + std::to_string(first), endPeriod,
                   "timeBeginPeriod 1", kSetEvent, Rest(second, true),
                   "timeKillEvent " + std::to_string(second), endPeriod, "timeBeginPeriod 1",
                   kSetEvent, Rest(third, true), "WakeTimerEvent " + std::to_string(third),
                   "timeKillEvent " + std::to_string(third), endPeriod}));
}

TEST_F(DxMTimerTest, StopOnAnIdleTimerCallsNothing) {
  CDxMTimer timer;
  fake.ClearCalls();
  EXPECT_EQ(timer.Stop(), 1);
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(DxMTimerTest, TicksGoToOnTickOnlyWithoutACallback) {
  CountingTimer timer;
  fake.Tick(timer.Start(1));
  fake.Tick(timer.TimerId());
  EXPECT_EQ(timer.ticks, 2);

  std::atomic<int> callbackTicks{0};
  fake.Tick(timer.Start(1, CountTick, reinterpret_cast<DWORD_PTR>(&callbackTicks)));
  EXPECT_EQ(callbackTicks, 1);
  EXPECT_EQ(timer.ticks, 2);
}

TEST_F(DxMTimerTest, ResolutionRequestsStayBalanced) {
  struct Case {
    const char* name;
    std::vector<MMRESULT> beginResults;
    std::vector<MMRESULT> setEventResults;
    int starts;
    bool stop;
  };
  const std::vector<Case> cases{
      {"start, stop", {}, {}, 1, true},
      {"start, destroy", {}, {}, 1, false},
      {"restart", {}, {}, 3, false},
      {"event refused", {}, {MMSYSERR_ERROR}, 1, false},
      {"event refused, then stop", {}, {MMSYSERR_ERROR}, 1, true},
      {"resolution refused", {TIMERR_NOCANDO}, {}, 1, true},
      {"resolution refused, restart", {TIMERR_NOCANDO}, {}, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.Clear();
    fake.Script("timeBeginPeriod", c.beginResults);
    fake.Script("timeSetEvent", c.setEventResults);
    {
      CDxMTimer timer;
      for (int i = 0; i < c.starts; ++i)
        timer.Start(1);
      if (c.stop) timer.Stop();
    }
    // Granted requests minus releases: a missing release leaves it above 0, an extra one
    // (the fake grants every release) below.
    EXPECT_EQ(fake.resolutionRequests, 0);
  }
}

TEST_F(DxMTimerTest, RefusedEventLeavesTheTimerIdle) {
  CDxMTimer timer;
  fake.Script("timeSetEvent", {MMSYSERR_ERROR});
  EXPECT_EQ(timer.Start(1), 0u);
  EXPECT_EQ(timer.TimerId(), 0u);
  fake.ClearCalls();
  timer.Stop();
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(DxMTimerTest, ResolutionIsThePlatformMinimumOrOneWhenUnknown) {
  struct Case {
    MMRESULT capsResult;
    TIMECAPS caps;
    std::string request;
  };
  for (const Case& c : {Case{MMSYSERR_NOERROR, {3, 500}, "timeBeginPeriod 3"},
                        Case{MMSYSERR_ERROR, {3, 500}, "timeBeginPeriod 1"},
                        Case{MMSYSERR_NOERROR, {0, 500}, "timeBeginPeriod 1"}}) {
    SCOPED_TRACE(c.request);
    fake.Clear();
    fake.caps = c.caps;
    fake.Script("timeGetDevCaps", {c.capsResult});
    CDxMTimer timer;
    timer.Start(10);
    EXPECT_EQ(fake.Calls()[1], c.request);
  }
}

}  // namespace
}  // namespace tarn::test
