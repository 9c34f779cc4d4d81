// The data of the read in flight, as ReadFlashReply messages bring it: the dispatcher stores
// each good reply behind the last, the worker takes what came once the read is answered.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sysex/messages.h"

namespace tarn {

class ReadBackBuffer {
 public:
  // Large enough for a reply of kMaxLen2 raw bytes.
  static constexpr int32_t kSize = 16384;

  enum class Stored {
    kStored,    // good data, stored behind what came before
    kRejected,  // malformed, longer than the read asked for, or failing its checksum
    kComplete,  // the read already had all it asked for: a late reply to an earlier try
  };

  // Worker: every try of a read starts from an empty buffer, so a reply to an earlier try that
  // comes late fills it once, never twice. Nothing is stored past `length`.
  void Start(int32_t length);
  // Dispatcher: the payload of one reply, or nothing for a reply too malformed to have one.
  Stored Store(const std::optional<ReadFlashPayload>& payload);
  // Worker: the bytes the read in flight has received so far.
  std::vector<uint8_t> Received() const;

 private:
  mutable std::mutex m_mutex;
  std::array<uint8_t, kSize> m_bytes{};
  int32_t m_offset = 0;
  int32_t m_length = 0;
};

}  // namespace tarn
