// An auto-reset event: a signal releases exactly one wait (or the next one, if nobody waits
// yet).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarn {

class AutoResetEvent {
 public:
  // Signals and wakes the waiter.
  void Set();
  // Signals without waking the waiter: for a caller that holds a lock the waiter takes next,
  // which would wake it only to block on that lock, and be switched out itself while holding
  // it. A wait that starts now ends at once; one under way ends at Announce.
  void Raise();
  // Wakes the waiter for a signal that Raise left unannounced; does nothing otherwise.
  void Announce();
  void Reset();
  // True when the event was signalled within `timeout`; the signal is consumed.
  bool Wait(std::chrono::milliseconds timeout);

 private:
  std::mutex m_mutex;
  std::condition_variable m_signalled;
  bool m_set = false;
  bool m_unannounced = false;
};

}  // namespace tarn
