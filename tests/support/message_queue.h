// Received messages waiting for the dispatcher, as the MIDI input port keeps them: pushed by a
// device on its own thread, taken by the test's ticker.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "engine/message_source.h"

namespace tarn::test {

class MessageQueue final : public MessageSource {
 public:
  void Push(std::span<const uint8_t> message) {
    std::lock_guard lock(m_mutex);
    m_messages.emplace_back(message.begin(), message.end());
  }
  std::span<const uint8_t> PeekSysEx() override {
    std::lock_guard lock(m_mutex);
    // A deque keeps its elements in place while others are added behind them.
    return m_messages.empty() ? std::span<const uint8_t>() : m_messages.front();
  }
  void PopSysEx() override {
    std::lock_guard lock(m_mutex);
    if (!m_messages.empty()) m_messages.pop_front();
  }
  bool Empty() const {
    std::lock_guard lock(m_mutex);
    return m_messages.empty();
  }

 private:
  mutable std::mutex m_mutex;
  std::deque<std::vector<uint8_t>> m_messages;
};

}  // namespace tarn::test
