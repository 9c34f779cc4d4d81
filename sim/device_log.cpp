#include "sim/device_log.h"

#include <algorithm>

#include "sysex/codec.h"

namespace tarn::sim {

void DeviceLog::Add(ReceivedMessage message) {
  ++m_counts[static_cast<size_t>(message.kind)];
  m_entries.push_back(std::move(message));
}

int32_t DeviceLog::CountAt(RequestKind kind, uint32_t address) const {
  return static_cast<int32_t>(
      std::count_if(m_entries.begin(), m_entries.end(), [&](const ReceivedMessage& entry) {
        return entry.kind == kind && entry.address == address;
      }));
}

ReceivedMessage Describe(std::chrono::nanoseconds at, RequestKind kind,
                         std::shared_ptr<const std::vector<uint8_t>> bytes) {
  ReceivedMessage message{at, kind, 0, 0, std::move(bytes)};
  const std::vector<uint8_t>& m = *message.bytes;
  switch (kind) {
    case RequestKind::kEraseFlash:
      if (m.size() >= 15) {
        message.address = Decode35(&m[5]);
        message.count = Decode35(&m[10]);
      }
      break;
    case RequestKind::kWriteBlock:
      if (m.size() >= 12) {
        message.address = Decode35(&m[5]);
        message.count = m[10] | (m[11] << 7);
      }
      break;
    case RequestKind::kReadFlash:
      if (m.size() >= 16) {
        message.address = Decode35(&m[6]);
        message.count = Decode35(&m[11]);
      }
      break;
    default:
      break;
  }
  return message;
}

}  // namespace tarn::sim
