#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "midi/dx_timer.h"
#include "midi/platform/timer_wake.h"
#include "midi/platform/winmm.h"
#include "tests/midi/counting_timer.h"
#include "tests/support/wait_until.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

TEST(PlatformTimerTest, TicksUntilStoppedAndNotAfter) {
  CountingTimer timer;
  ASSERT_NE(timer.Start(1), 0u);
  EXPECT_TRUE(WaitUntil([&] { return timer.ticks >= 5; }));
  timer.Stop();
  const int ticks = timer.ticks;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(timer.ticks, ticks);
}

struct SelfKill {
  std::atomic<UINT> id{0};
  std::atomic<int> ticks{0};
};

void CALLBACK KillOnFirstTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto& state = *reinterpret_cast<SelfKill*>(user);
  if (state.ticks++ == 0) timeKillEvent(id);
}

// With a period of a thousand seconds every tick seen is a woken one: each runs on the event's
// own thread, and a stopped timer is woken no more.
TEST(PlatformTimerTest, AWakeTicksEarlyOnTheEventsThread) {
  struct Ticks {
    std::atomic<int> count{0};
    std::atomic<std::thread::id> thread;
  } ticks;
  auto tick = [](UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto& state = *reinterpret_cast<Ticks*>(user);
    state.thread = std::this_thread::get_id();
    ++state.count;
  };
  CDxMTimer timer;
  ASSERT_NE(timer.Start(1000000, tick, reinterpret_cast<DWORD_PTR>(&ticks)), 0u);
  for (int wake = 1; wake <= 3; ++wake) {
    timer.Wake();
    EXPECT_TRUE(WaitUntil([&] { return ticks.count >= wake; }));
    EXPECT_NE(ticks.thread.load(), std::this_thread::get_id());
  }
  const UINT id = timer.TimerId();
  timer.Stop();
  EXPECT_FALSE(platform::WakeTimerEvent(id));
  timer.Wake();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks.count, 3);
}

// Ticks of an event that is told to rest from its own first tick, so that no tick of its period
// can come after the rest began; `onFirstTick` may wake it too.
struct RestingTicks {
  std::atomic<UINT> id{0};
  std::atomic<int> count{0};
  void (*onFirstTick)(UINT id) = nullptr;
};

void CALLBACK RestOnFirstTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto& ticks = *reinterpret_cast<RestingTicks*>(user);
  if (ticks.count++ != 0) return;
  ticks.id = id;
  if (ticks.onFirstTick) ticks.onFirstTick(id);
}

UINT StartResting(RestingTicks& ticks) {
  const UINT id =
      timeSetEvent(1, 1, RestOnFirstTick, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
  EXPECT_NE(id, 0u);
  EXPECT_TRUE(WaitUntil([&] { return ticks.count >= 1; }));
  return id;
}

TEST(PlatformTimerTest, ARestingEventTicksOnceAWakeAndEveryPeriodAfterTheRest) {
  RestingTicks ticks;
  ticks.onFirstTick = [](UINT id) { EXPECT_TRUE(platform::RestTimerEvent(id, true)); };
  const UINT id = StartResting(ticks);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks.count, 1);
  for (int wake = 2; wake <= 4; ++wake) {
    EXPECT_TRUE(platform::WakeTimerEvent(id));
    EXPECT_TRUE(WaitUntil([&] { return ticks.count >= wake; }));
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks.count, 4);
  EXPECT_TRUE(platform::RestTimerEvent(id, false));
  EXPECT_TRUE(WaitUntil([&] { return ticks.count >= 10; }));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(platform::RestTimerEvent(id, true));
}

// A message that arrives while the tick that found the queue empty is still running wakes the
// event before it rests: that wake must still tick, or the message waits for the next one.
TEST(PlatformTimerTest, AWakeJustBeforeTheRestStillTicks) {
  struct Case {
    const char* name;
    void (*onFirstTick)(UINT id);
  };
  for (const Case& c : {Case{"rest, then wake",
                             [](UINT id) {
                               platform::RestTimerEvent(id, true);
                               platform::WakeTimerEvent(id);
                             }},
                        Case{"wake, then rest", [](UINT id) {
                               platform::WakeTimerEvent(id);
                               platform::RestTimerEvent(id, true);
                             }}}) {
    SCOPED_TRACE(c.name);
    RestingTicks ticks;
    ticks.onFirstTick = c.onFirstTick;
    const UINT id = StartResting(ticks);
    EXPECT_TRUE(WaitUntil([&] { return ticks.count >= 2; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks.count, 2);
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  }
}

TEST(PlatformTimerTest, KillWhileRestingReturnsAndNothingTicksAfter) {
  RestingTicks ticks;
  ticks.onFirstTick = [](UINT id) { platform::RestTimerEvent(id, true); };
  const UINT id = StartResting(ticks);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(platform::WakeTimerEvent(id));
  EXPECT_EQ(ticks.count, 1);
}

TEST(PlatformTimerTest, ARestNotAllowedIsRefusedAndTheEventTicksOn) {
  platform::AllowTimerRest(false);
  RestingTicks ticks;
  ticks.onFirstTick = [](UINT id) { EXPECT_FALSE(platform::RestTimerEvent(id, true)); };
  const UINT id = StartResting(ticks);
  EXPECT_TRUE(WaitUntil([&] { return ticks.count >= 10; }));
  platform::AllowTimerRest(true);
  EXPECT_TRUE(platform::RestTimerEvent(id, true));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
}

TEST(PlatformTimerTest, AnEventMayEndItselfFromItsTick) {
  SelfKill state;
  const UINT id =
      timeSetEvent(1, 1, KillOnFirstTick, reinterpret_cast<DWORD_PTR>(&state), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(WaitUntil([&] { return state.ticks >= 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(state.ticks, 1);
  EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(PlatformTimerTest, RefusesWhatItCannotDo) {
  EXPECT_EQ(timeSetEvent(0, 1, KillOnFirstTick, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeSetEvent(1, 1, KillOnFirstTick, 0, TIME_ONESHOT), 0u);
  EXPECT_EQ(timeSetEvent(1, 1, nullptr, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeKillEvent(12345), MMSYSERR_INVALPARAM);
  // Resolution requests are counted: a release needs its request.
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOCANDO);
  EXPECT_EQ(timeBeginPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOCANDO);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
}

}  // namespace
}  // namespace tarn::test
