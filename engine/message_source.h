// Received SysEx messages waiting to be dispatched, oldest first. Each keeps its own length.
#pragma once

#include <cstdint>
#include <span>

namespace tarn {

class MessageSource {
 public:
  virtual ~MessageSource() = default;
  // The oldest message, or an empty span when none is queued. Valid until PopSysEx.
  virtual std::span<const uint8_t> PeekSysEx() = 0;
  // Removes the oldest message; nothing on an empty queue.
  virtual void PopSysEx() = 0;
};

}  // namespace tarn
