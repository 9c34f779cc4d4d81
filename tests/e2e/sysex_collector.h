// Gathers the byte stream of an input into whole SysEx messages, however the backend split it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "midi/platform/backend.h"
#include "sysex/sysex_framer.h"

namespace tarn::test {

class SysExCollector {
 public:
  // Valid while the collector lives.
  platform::InputBytesHandler Handler();
  // The oldest complete message (0xF0 ... 0xF7), or nothing when none came within `timeout`.
  std::optional<std::vector<uint8_t>> Next(std::chrono::milliseconds timeout);
  // How often the backend has said that the source has gone, waiting up to `timeout` for the
  // first time.
  int GoneNotices(std::chrono::milliseconds timeout);

 private:
  void Append(std::span<const uint8_t> bytes);

  std::mutex m_mutex;
  std::condition_variable m_arrived;
  SysExFramer m_framer;
  std::deque<std::vector<uint8_t>> m_messages;
  int m_goneNotices = 0;
};

}  // namespace tarn::test
