// Whole SysEx messages out of a MIDI byte stream, however the stream was cut into pieces: the
// one place that knows where a message begins and ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tarn {

class SysExFramer {
 public:
  // Longest message kept; longer ones are dropped whole. A read-back reply of kMaxLen2 raw
  // bytes packs into 18724 bytes, so this leaves room to spare.
  static constexpr size_t kDefaultLimit = 65536;
  // Gets each completed message, F0 to F7, and may keep it: the bytes are handed over, not
  // copied again.
  using Handler = std::function<void(std::vector<uint8_t> message)>;

  explicit SysExFramer(size_t limit = kDefaultLimit) : m_limit(limit) {}

  // Hands every message that `bytes` completes to `handler`. Real-time bytes (F8..FF) inside a
  // message are skipped; any other status byte breaks it (dropped, counted), and an F0 starts
  // the next one. Bytes outside a message are ignored.
  void Feed(std::span<const uint8_t> bytes, const Handler& handler);
  // Drops the message in progress, if any, and counts it: its rest will never come.
  void Abandon();
  // Counts one message that the platform returned broken, and drops the one in progress (which
  // is that message, or its start).
  void Reject();

  bool InMessage() const { return m_inMessage; }
  // Messages dropped so far: broken by a status byte, longer than the limit, abandoned or
  // rejected.
  uint64_t Dropped() const { return m_dropped; }

 private:
  void Append(std::span<const uint8_t> run);
  void Drop();

  size_t m_limit;
  bool m_inMessage = false;
  bool m_oversized = false;  // the message in progress went past the limit: skip to its end
  std::vector<uint8_t> m_message;
  uint64_t m_dropped = 0;
};

}  // namespace tarn
