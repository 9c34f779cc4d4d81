#include "engine/update_context.h"

#include <utility>

namespace tarn {

Identity SharedIdentity::Load() const {
  const uint32_t bytes = m_bytes.load();
  return {static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8),
          static_cast<uint8_t>(bytes >> 16), static_cast<uint8_t>(bytes >> 24)};
}

void SharedIdentity::Store(const Identity& identity) {
  m_bytes.store(static_cast<uint32_t>(identity[0]) | static_cast<uint32_t>(identity[1]) << 8 |
                static_cast<uint32_t>(identity[2]) << 16 |
                static_cast<uint32_t>(identity[3]) << 24);
}

UpdateContext::UpdateContext(const ImageSet& images, UpdateObserver& observer, SendFunction send,
                             Timing timing)
    : m_images(images), m_observer(observer), m_send(std::move(send)), m_timing(timing) {}

int32_t UpdateContext::SendSysEx(const uint8_t* bytes, int32_t length) {
  SendResult result = SendResult::kFailed;
  {
    std::lock_guard lock(m_sendMutex);
    if (m_send) result = m_send(bytes, length);
  }
  if (result == SendResult::kPortGone && !m_portGone.exchange(true)) m_answered.Set();
  return result == SendResult::kSent ? 0 : -1;
}

void UpdateContext::DeviceGone() {
  if (!m_portGone.exchange(true)) m_answered.Set();
}

void UpdateContext::Complete(int32_t status) {
  m_status = status;
  m_answered.Raise();
}

void UpdateContext::Release() {
  m_answered.Raise();
}

void UpdateContext::WakeWorker() {
  m_answered.Announce();
}

std::optional<int32_t> UpdateContext::AwaitAnswer(std::chrono::milliseconds timeout) {
  if (!m_answered.Wait(timeout)) return std::nullopt;
  return m_status.load();
}

void UpdateContext::Abort() {
  {
    std::lock_guard lock(m_closeMutex);
    m_closing = true;
  }
  m_closed.notify_all();
  m_answers.Abort();
  m_status = kStatusClosing;
  m_answered.Set();
}

bool UpdateContext::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_closeMutex);
  return !m_closed.wait_for(lock, duration, [this] { return m_closing.load(); });
}

}  // namespace tarn
