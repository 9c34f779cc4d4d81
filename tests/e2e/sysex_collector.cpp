#include "tests/e2e/sysex_collector.h"

namespace tarn::test {

platform::InputBytesHandler SysExCollector::Handler() {
  return [this](std::span<const uint8_t> bytes) { Append(bytes); };
}

void SysExCollector::Append(std::span<const uint8_t> bytes) {
  std::lock_guard lock(m_mutex);
  if (bytes.empty()) {
    ++m_goneNotices;
    m_arrived.notify_all();
    return;
  }
  m_framer.Feed(bytes, [this](std::vector<uint8_t> message) {
    m_messages.push_back(std::move(message));
    m_arrived.notify_all();
  });
}

std::optional<std::vector<uint8_t>> SysExCollector::Next(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  if (!m_arrived.wait_for(lock, timeout, [this] { return !m_messages.empty(); })) {
    return std::nullopt;
  }
  std::vector<uint8_t> message = std::move(m_messages.front());
  m_messages.pop_front();
  return message;
}

int SysExCollector::GoneNotices(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  m_arrived.wait_for(lock, timeout, [this] { return m_goneNotices > 0; });
  return m_goneNotices;
}

}  // namespace tarn::test
