// A single-producer, single-consumer byte queue that the realtime process callback can use on
// either side: no allocation and no locks after construction.
#pragma once

#include <jack/ringbuffer.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn::platform {

// Built on jack_ringbuffer_t. libjack is not built with the thread sanitizer, so the hand-over
// of bytes is also published through two atomic counters of our own, and each side trusts only
// what those counters show; that keeps the ordering visible to the tools that check it.
class RtByteQueue {
 public:
  explicit RtByteQueue(size_t minimumCapacity);
  ~RtByteQueue();
  RtByteQueue(const RtByteQueue&) = delete;
  RtByteQueue& operator=(const RtByteQueue&) = delete;

  bool Valid() const { return m_ring != nullptr; }
  size_t Capacity() const { return m_capacity; }

  // Producer side.
  size_t WriteSpace() const;
  // Writes head and body back to back, or nothing when both do not fit.
  bool Write(std::span<const uint8_t> head, std::span<const uint8_t> body = {});

  // Consumer side.
  size_t ReadSpace() const;
  // Copies the first out.size() bytes without consuming them; false when fewer are queued.
  bool Peek(std::span<uint8_t> out) const;
  // Consumes exactly out.size() bytes; false (and nothing consumed) when fewer are queued.
  bool Read(std::span<uint8_t> out);
  // Consumes up to out.size() bytes and returns how many.
  size_t ReadSome(std::span<uint8_t> out);
  void Skip(size_t count);
  void Clear() { Skip(ReadSpace()); }

 private:
  jack_ringbuffer_t* m_ring;
  size_t m_capacity = 0;
  std::atomic<uint64_t> m_written{0};
  std::atomic<uint64_t> m_read{0};
};

}  // namespace tarn::platform
