// An auto-reset event: Set releases exactly one wait (or the next one, if nobody waits yet).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarn {

class AutoResetEvent {
 public:
  void Set();
  void Reset();
  // True when the event was signalled within `timeout`; the signal is consumed.
  bool Wait(std::chrono::milliseconds timeout);

 private:
  std::mutex m_mutex;
  std::condition_variable m_signalled;
  bool m_set = false;
};

}  // namespace tarn
