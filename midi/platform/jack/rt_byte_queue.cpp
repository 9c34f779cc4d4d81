#include "midi/platform/jack/rt_byte_queue.h"

#include <algorithm>

namespace tarn::platform {

RtByteQueue::RtByteQueue(size_t minimumCapacity)
    : m_ring(jack_ringbuffer_create(minimumCapacity + 1)) {
  if (m_ring) m_capacity = jack_ringbuffer_write_space(m_ring);
}

RtByteQueue::~RtByteQueue() {
  if (m_ring) jack_ringbuffer_free(m_ring);
}

size_t RtByteQueue::WriteSpace() const {
  const uint64_t used =
      m_written.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire);
  return m_capacity - static_cast<size_t>(used);
}

bool RtByteQueue::Write(std::span<const uint8_t> head, std::span<const uint8_t> body) {
  const size_t total = head.size() + body.size();
  if (!m_ring || total > WriteSpace()) return false;
  jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(head.data()), head.size());
  jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(body.data()), body.size());
  m_written.fetch_add(total, std::memory_order_release);
  return true;
}

size_t RtByteQueue::ReadSpace() const {
  const uint64_t queued =
      m_written.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed);
  return static_cast<size_t>(queued);
}

bool RtByteQueue::Peek(std::span<uint8_t> out) const {
  if (!m_ring || out.size() > ReadSpace()) return false;
  jack_ringbuffer_peek(m_ring, reinterpret_cast<char*>(out.data()), out.size());
  return true;
}

bool RtByteQueue::Read(std::span<uint8_t> out) {
  if (!Peek(out)) return false;
  jack_ringbuffer_read_advance(m_ring, out.size());
  m_read.fetch_add(out.size(), std::memory_order_release);
  return true;
}

size_t RtByteQueue::ReadSome(std::span<uint8_t> out) {
  const size_t count = std::min(out.size(), ReadSpace());
  Read(out.first(count));
  return count;
}

void RtByteQueue::Skip(size_t count) {
  if (!m_ring) return;
  count = std::min(count, ReadSpace());
  jack_ringbuffer_read_advance(m_ring, count);
  m_read.fetch_add(count, std::memory_order_release);
}

}  // namespace tarn::platform
