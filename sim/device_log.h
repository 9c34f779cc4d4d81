// Every message the virtual device received, in arrival order, with counts per kind.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "sysex/request_kind.h"

namespace tarn::sim {

struct ReceivedMessage {
  std::chrono::nanoseconds at;  // arrival at the device, from the device's start
  RequestKind kind;
  uint32_t address;  // erase, write and read: the flash address; 0 for the others
  uint32_t count;    // erase and read: the byte count; write: the block length; 0 for the others
  std::shared_ptr<const std::vector<uint8_t>> bytes;  // shared with the device's queue, no copy
};

// Not synchronised: the device guards it.
class DeviceLog {
 public:
  void Add(ReceivedMessage message);
  const std::vector<ReceivedMessage>& Entries() const { return m_entries; }
  int32_t Count(RequestKind kind) const { return m_counts[static_cast<size_t>(kind)]; }
  int32_t CountAt(RequestKind kind, uint32_t address) const;

 private:
  std::vector<ReceivedMessage> m_entries;
  std::array<int32_t, kRequestKindCount> m_counts{};
};

// The flash address and count a request names (zeros for requests that name none, and for
// malformed ones).
ReceivedMessage Describe(std::chrono::nanoseconds at, RequestKind kind,
                         std::shared_ptr<const std::vector<uint8_t>> bytes);

}  // namespace tarn::sim
