// Polling for something another thread or process brings about, with a deadline generous
// enough for a loaded (sanitised, emulated) machine: a test waits for what it needs, never for
// a fixed time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tarn::test {

// True once `done` holds; false when `timeout` passed first.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tarn::test
