// Gathers the bytes an input connection delivers on its own thread, so a test can wait for a
// given count and then compare.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "midi/platform/backend.h"

namespace tarn {

class ByteCollector {
 public:
  // Must outlive the connection it is given to.
  platform::InputBytesHandler Handler();
  // True once at least `count` bytes have arrived in all, false when `limit` passed first.
  bool WaitFor(size_t count, std::chrono::milliseconds limit);
  size_t Size();
  // Everything received so far; the collector starts empty again.
  std::vector<uint8_t> Take();

 private:
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::vector<uint8_t> m_bytes;
};

}  // namespace tarn
