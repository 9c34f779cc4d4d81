// Whole SysEx messages out of a MIDI byte stream, however the stream was cut into pieces: the
// one place that knows where a message begins and ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tarn {

// Real-time status bytes (clock, start, stop, active sensing, ...) run from here to 0xFF; they
// may come between any two bytes of another message.
inline constexpr uint8_t kFirstRealTime = 0xF8;

// What the front of a MIDI byte stream is, to a reader that is or is not inside a message.
// A real-time byte (F8..FF) inside a message does not belong to it; any other status byte
// breaks it, and an F0 then starts the next one.
struct SysExPiece {
  enum class Kind : uint8_t {
    kOutside,   // bytes outside any message (short messages, strays), up to the next F0
    kStart,     // the F0 that begins a message
    kBody,      // data bytes of the message in progress
    kRealTime,  // one real-time byte inside the message
    kEnd,       // the F7 that ends it
    kBreak,     // the message in progress is broken; its status byte is not taken (length 0)
                // but read again outside a message
  };
  Kind kind;
  size_t length;  // of the front of the stream that this piece takes
};

// `bytes` must not be empty.
SysExPiece NextSysExPiece(bool inMessage, std::span<const uint8_t> bytes);

// Joins the pieces of the stream into whole messages; for a reader that hands on pieces as they
// come (the platform's input), NextSysExPiece alone.
class SysExFramer {
 public:
  // Longest message kept; longer ones are dropped whole. A read-back reply of kMaxLen2 raw
  // bytes packs into 18724 bytes, so this leaves room to spare.
  static constexpr size_t kDefaultLimit = 65536;
  // Gets each completed message, F0 to F7, and may keep it: the bytes are handed over, not
  // copied again.
  using Handler = std::function<void(std::vector<uint8_t> message)>;

  explicit SysExFramer(size_t limit = kDefaultLimit) : m_limit(limit) {}

  // Hands every message that `bytes` completes to `handler`. Real-time bytes inside a message
  // are skipped; any other status byte breaks it (dropped, counted), and an F0 starts the next
  // one. Bytes outside a message are ignored.
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
  // A message that begins at the front of `bytes` and lies there whole is handed on (or
  // dropped when too long) at once; its length, or 0 when it does not lie there whole.
  size_t TakeWhole(std::span<const uint8_t> bytes, const Handler& handler);
  void Append(std::span<const uint8_t> run);
  void Drop();

  size_t m_limit;
  bool m_inMessage = false;
  bool m_oversized = false;  // the message in progress went past the limit: skip to its end
  std::vector<uint8_t> m_message;
  uint64_t m_dropped = 0;
};

}  // namespace tarn
