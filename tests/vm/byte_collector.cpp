#include "tests/vm/byte_collector.h"

#include <utility>

namespace tarn {

platform::InputBytesHandler ByteCollector::Handler() {
  return [this](std::span<const uint8_t> bytes) {
    {
      std::lock_guard lock(m_mutex);
      m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }
    m_arrived.notify_all();
  };
}

bool ByteCollector::WaitFor(size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  return m_arrived.wait_for(lock, limit, [&] { return m_bytes.size() >= count; });
}

size_t ByteCollector::Size() {
  std::lock_guard lock(m_mutex);
  return m_bytes.size();
}

std::vector<uint8_t> ByteCollector::Take() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_bytes, {});
}

}  // namespace tarn
