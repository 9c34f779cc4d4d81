#include "engine/read_back_buffer.h"

#include <algorithm>

#include "sysex/codec.h"

namespace tarn {

void ReadBackBuffer::Start(int32_t length) {
  std::lock_guard lock(m_mutex);
  m_offset = 0;
  m_length = std::clamp(length, 0, kSize);
}

ReadBackBuffer::Stored ReadBackBuffer::Store(const std::optional<ReadFlashPayload>& payload) {
  std::lock_guard lock(m_mutex);
  if (m_offset > 0 && m_offset == m_length) return Stored::kComplete;
  // A reply longer than the read asked for is refused: its data is not the data asked for.
  if (!payload || payload->rawLength > m_length - m_offset) return Stored::kRejected;
  uint8_t* destination = m_bytes.data() + m_offset;
  Unpack7(destination, payload->packed.data(), static_cast<int32_t>(payload->packed.size()));
  if (Crc32Raw(destination, static_cast<uint32_t>(payload->rawLength)) != payload->expectedCrc) {
    return Stored::kRejected;
  }
  m_offset += payload->rawLength;
  return Stored::kStored;
}

std::vector<uint8_t> ReadBackBuffer::Received() const {
  std::lock_guard lock(m_mutex);
  return std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + m_offset);
}

}  // namespace tarn
