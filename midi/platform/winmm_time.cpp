// The multimedia timer: each periodic event is a thread that sleeps until its next period on
// the steady clock, or until it is woken to tick early. A resting event has no next period and
// sleeps until it is woken. Our clock has no resolution to raise; resolution requests are
// counted so that an unmatched release is refused, as WinMM refuses it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "midi/platform/timer_wake.h"
#include "midi/platform/winmm.h"

namespace {

constexpr TIMECAPS kCaps{1, 1000000};
constexpr UINT kSupportedFlags = TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS;

struct PeriodicEvent {
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool wake = false;
  bool resting = false;
  std::thread thread;
};

std::atomic<bool> g_restAllowed{true};

void RunEvent(std::shared_ptr<PeriodicEvent> event, UINT id, std::chrono::milliseconds period,
              LPTIMECALLBACK callback, DWORD_PTR user) {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + period;
  std::unique_lock lock(event->mutex);
  for (;;) {
    bool due = false;
    if (event->resting) {
      event->changed.wait(lock, [&] { return event->stop || event->wake || !event->resting; });
      // The period's grid starts again where the rest ends: its end ticks at once.
      next = Clock::now();
    } else {
      due = !event->changed.wait_until(
          lock, next, [&] { return event->stop || event->wake || event->resting; });
    }
    if (event->stop) return;
    // Gone to rest, or back from it: the wait starts over without a tick.
    if (!due && !event->wake) continue;
    event->wake = false;
    lock.unlock();
    callback(id, 0, user, 0, 0);
    lock.lock();
    // An early tick keeps the period's grid; a tick that ran long is not made up for with a
    // burst of late ones.
    const auto now = Clock::now();
    if (now >= next) next = std::max(next + period, now);
  }
}

class Timers {
 public:
  static Timers& Instance() {
    static Timers timers;
    return timers;
  }

  ~Timers() {
    for (auto& [id, event] : m_events)
      Stop(*event);
  }

  UINT Add(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user) {
    std::lock_guard lock(m_mutex);
    do {
      ++m_lastId;
    } while (m_lastId == 0 || m_events.contains(m_lastId));
    auto event = std::make_shared<PeriodicEvent>();
    event->thread =
        std::thread(RunEvent, event, m_lastId, std::chrono::milliseconds(delay), callback, user);
    m_events.emplace(m_lastId, std::move(event));
    return m_lastId;
  }

  bool Wake(UINT id) {
    return Apply(id, [](PeriodicEvent& event) { event.wake = true; });
  }

  bool Rest(UINT id, bool resting) {
    if (resting && !g_restAllowed) return false;
    return Apply(id, [resting](PeriodicEvent& event) { event.resting = resting; });
  }

  bool Kill(UINT id) {
    std::shared_ptr<PeriodicEvent> event;
    {
      std::lock_guard lock(m_mutex);
      const auto found = m_events.find(id);
      if (found == m_events.end()) return false;
      event = found->second;
      m_events.erase(found);
    }
    Stop(*event);
    return true;
  }

  MMRESULT BeginPeriod(UINT period) {
    if (period < kCaps.wPeriodMin || period > kCaps.wPeriodMax) return TIMERR_NOCANDO;
    std::lock_guard lock(m_mutex);
    ++m_requests[period];
    return TIMERR_NOERROR;
  }

  MMRESULT EndPeriod(UINT period) {
    std::lock_guard lock(m_mutex);
    const auto found = m_requests.find(period);
    if (found == m_requests.end()) return TIMERR_NOCANDO;
    if (--found->second == 0) m_requests.erase(found);
    return TIMERR_NOERROR;
  }

 private:
  // Applies `edit` to a running event under its lock and lets its thread see it.
  template <typename Edit>
  bool Apply(UINT id, Edit edit) {
    std::shared_ptr<PeriodicEvent> event;
    {
      std::lock_guard lock(m_mutex);
      const auto found = m_events.find(id);
      if (found == m_events.end()) return false;
      event = found->second;
    }
    {
      std::lock_guard lock(event->mutex);
      if (event->stop) return false;
      edit(*event);
    }
    event->changed.notify_one();
    return true;
  }

  // Waits for a tick in progress, unless the event is being killed from its own tick.
  static void Stop(PeriodicEvent& event) {
    {
      std::lock_guard lock(event.mutex);
      event.stop = true;
    }
    event.changed.notify_all();
    if (event.thread.get_id() == std::this_thread::get_id()) {
      event.thread.detach();
    } else {
      event.thread.join();
    }
  }

  std::mutex m_mutex;
  std::map<UINT, std::shared_ptr<PeriodicEvent>> m_events;
  UINT m_lastId = 0;
  std::map<UINT, int> m_requests;
};

}  // namespace

MMRESULT timeGetDevCaps(LPTIMECAPS ptc, UINT cbtc) {
  if (!ptc || cbtc < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  *ptc = kCaps;
  return MMSYSERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT uPeriod) {
  return Timers::Instance().BeginPeriod(uPeriod);
}

MMRESULT timeEndPeriod(UINT uPeriod) {
  return Timers::Instance().EndPeriod(uPeriod);
}

// Periodic events only; every event is killed synchronously.
MMRESULT timeSetEvent(UINT uDelay, UINT /*uResolution*/, LPTIMECALLBACK fptc, DWORD_PTR dwUser,
                      UINT fuEvent) {
  if (!fptc || !(fuEvent & TIME_PERIODIC) || (fuEvent & ~kSupportedFlags) != 0) return 0;
  if (uDelay < kCaps.wPeriodMin || uDelay > kCaps.wPeriodMax) return 0;
  return Timers::Instance().Add(uDelay, fptc, dwUser);
}

MMRESULT timeKillEvent(UINT uTimerID) {
  return Timers::Instance().Kill(uTimerID) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

bool tarn::platform::WakeTimerEvent(UINT timerId) {
  return Timers::Instance().Wake(timerId);
}

bool tarn::platform::RestTimerEvent(UINT timerId, bool resting) {
  return Timers::Instance().Rest(timerId, resting);
}

void tarn::platform::AllowTimerRest(bool allowed) {
  g_restAllowed = allowed;
}

void Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
