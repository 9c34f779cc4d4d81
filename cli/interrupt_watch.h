// Ctrl-C and termination requests, handed to ordinary code on a thread of their own: nothing
// but the platform's signal machinery runs in signal context.
#pragma once

#include <functional>
#include <memory>

namespace tarn::cli {

// Ctrl-C; SIGTERM; SIGHUP: the terminal has gone, which is no reason to stop an update.
enum class InterruptKind { kInterrupt, kTerminate, kHangUp };

class InterruptWatch {
 public:
  using Handler = std::function<void(InterruptKind kind)>;
  // Construct before any other thread starts: on POSIX the signals are blocked in the calling
  // thread so that every thread started later inherits the mask and only the watch sees them.
  explicit InterruptWatch(Handler handler);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace tarn::cli
