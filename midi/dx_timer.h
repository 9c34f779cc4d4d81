// A periodic platform timer at the finest resolution the platform offers.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "midi/platform/winmm.h"

namespace tarn {

class CDxMTimer {
 public:
  CDxMTimer();
  CDxMTimer(const CDxMTimer&) = delete;
  CDxMTimer& operator=(const CDxMTimer&) = delete;
  // Stops the timer. A class that overrides OnTick must call Stop in its own destructor, so
  // that no tick reaches it while it is being destroyed.
  virtual ~CDxMTimer();

  // Stops a running event, then calls `callback(id, 0, user, 0, 0)` every `period` ms on a
  // thread of the platform. Without a callback, OnTick is called instead and `user` is
  // ignored. Returns the new TimerId, 0 when the platform could not create the event.
  UINT Start(UINT period, LPTIMECALLBACK callback = nullptr, DWORD_PTR user = 0);
  // Ends the running event, if any; once Stop has returned no tick runs. Always 1.
  int32_t Stop();
  UINT TimerId() const { return m_timerId; }
  // Has the running event tick now, on its own thread, if the platform can; safe from any
  // thread. Nothing happens on an idle timer.
  void Wake();
  // While resting, the running event (and any that Start makes later) ticks only when woken,
  // where the platform can rest it; otherwise every period. The end of a rest ticks at once.
  // Safe from any thread, and from the tick itself.
  void SetResting(bool resting);

  static void CALLBACK DefaultCallback(UINT timer, UINT message, DWORD_PTR user, DWORD_PTR value1,
                                       DWORD_PTR value2);
  virtual void OnTick() {}

 private:
  std::atomic<UINT> m_timerId{0};  // read by Wake on other threads
  // Held while the running event is told to rest or not, so that the last SetResting wins
  // over a Start on another thread.
  std::mutex m_restMutex;
  bool m_resting = false;
  TIMECAPS m_caps{};
  bool m_resolutionRequested = false;  // by the running event's Start, released by Stop
};

}  // namespace tarn
