// The Win32 updater dialog on a UI thread of its own, as start-up runs it, so that a test can
// drive it from outside with window messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "engine/update_context.h"
#include "tests/support/test_timing.h"

namespace tarn::test {

class DialogRunner {
 public:
  // Starts the dialog of copy `instanceNumber` and waits until its window is there.
  explicit DialogRunner(int32_t instanceNumber = 1, Timing timing = FastTiming());
  // Closes the window if it is still open ("Yes" to a stop question) and waits for the thread.
  ~DialogRunner();
  DialogRunner(const DialogRunner&) = delete;
  DialogRunner& operator=(const DialogRunner&) = delete;

  HWND Window() const { return m_window; }
  DWORD Thread() const { return m_threadId; }
  // Whether the dialog has closed and everything behind it (the worker too) has ended.
  bool WaitEnded(std::chrono::milliseconds timeout);

 private:
  std::atomic<DWORD> m_threadId{0};
  std::atomic<bool> m_ended{false};
  HWND m_window = nullptr;
  std::thread m_thread;
};

}  // namespace tarn::test
