#include "sim/device_log.h"

#include <algorithm>
#include <span>

#include "sysex/host_requests.h"

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
  const std::span<const uint8_t> m = *message.bytes;
  switch (kind) {
    case RequestKind::kEraseFlash:
      if (const auto erase = ParseEraseFlash(m)) {
        message.address = erase->address;
        message.count = erase->count;
      }
      break;
    case RequestKind::kWriteBlock:
      if (const auto write = ParseWriteBlockPlace(m)) {
        message.address = write->address;
        message.count = write->length;
      }
      break;
    case RequestKind::kReadFlash:
      if (const auto read = ParseReadFlash(m)) {
        message.address = read->address;
        message.count = read->count;
      }
      break;
    default:
      break;
  }
  return message;
}

}  // namespace tarn::sim
