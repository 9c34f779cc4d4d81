#include "midi/dx_timer.h"

#include "midi/platform/timer_wake.h"

namespace tarn {

namespace {

// WinMM's usual range, for a platform that cannot tell its own.
constexpr TIMECAPS kFallbackCaps{1, 1000000};

}  // namespace

CDxMTimer::CDxMTimer() {
  if (timeGetDevCaps(&m_caps, sizeof m_caps) != MMSYSERR_NOERROR || m_caps.wPeriodMin == 0) {
    m_caps = kFallbackCaps;
  }
}

CDxMTimer::~CDxMTimer() {
  Stop();
}

UINT CDxMTimer::Start(UINT period, LPTIMECALLBACK callback, DWORD_PTR user) {
  Stop();
  m_resolutionRequested = timeBeginPeriod(m_caps.wPeriodMin) == TIMERR_NOERROR;
  if (!callback) {
    callback = &DefaultCallback;
    user = reinterpret_cast<DWORD_PTR>(this);
  }
  // Synchronous kill: after Stop no tick may still reach an owner that is going away.
  const UINT id = timeSetEvent(period, m_caps.wPeriodMin, callback, user,
                               TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  {
    std::lock_guard lock(m_restMutex);
    m_timerId = id;
    // A resting event still ticks once: whatever arrived before it started is dispatched.
    if (id != 0 && m_resting && platform::RestTimerEvent(id, true)) platform::WakeTimerEvent(id);
  }
  if (id == 0 && m_resolutionRequested) {
    // No event to run at that resolution: give the request back now, as nothing else will.
    timeEndPeriod(m_caps.wPeriodMin);
    m_resolutionRequested = false;
  }
  return id;
}

int32_t CDxMTimer::Stop() {
  if (m_timerId != 0) {
    timeKillEvent(m_timerId);
    if (m_resolutionRequested) timeEndPeriod(m_caps.wPeriodMin);
  }
  m_timerId = 0;
  m_resolutionRequested = false;
  return 1;
}

void CDxMTimer::Wake() {
  const UINT id = m_timerId;
  if (id != 0) platform::WakeTimerEvent(id);
}

void CDxMTimer::SetResting(bool resting) {
  std::lock_guard lock(m_restMutex);
  m_resting = resting;
  const UINT id = m_timerId;
  if (id != 0) platform::RestTimerEvent(id, resting);
}

void CALLBACK CDxMTimer::DefaultCallback(UINT /*timer*/, UINT /*message*/, DWORD_PTR user,
                                         DWORD_PTR /*value1*/, DWORD_PTR /*value2*/) {
  reinterpret_cast<CDxMTimer*>(user)->OnTick();
}

}  // namespace tarn
