#include "engine/response_event.h"

namespace tarn {

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
    m_unannounced = false;
  }
  m_signalled.notify_one();
}

void AutoResetEvent::Raise() {
  std::lock_guard lock(m_mutex);
  m_set = true;
  m_unannounced = true;
}

void AutoResetEvent::Announce() {
  {
    std::lock_guard lock(m_mutex);
    if (!m_unannounced) return;
    m_unannounced = false;
  }
  m_signalled.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(m_mutex);
  m_set = false;
  m_unannounced = false;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  if (!m_signalled.wait_for(lock, timeout, [this] { return m_set; })) return false;
  m_set = false;
  m_unannounced = false;
  return true;
}

}  // namespace tarn
