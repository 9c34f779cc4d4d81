// Carries calls from a worker thread to the UI thread that owns a window, and cuts them off
// when the window closes: from then on nothing is carried, and a worker waiting for a call to
// finish is let go at once, so the UI thread can wait for the worker without a deadlock.
// Toolkit-free: the toolkit only says how a call reaches its UI thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tarn {

class UiCallGate {
 public:
  // Hands `call` to the UI thread, to run there later; any thread. A toolkit may drop calls
  // for a window that is gone.
  using PostFunction = std::function<void(std::function<void()> call)>;

  explicit UiCallGate(PostFunction post);
  UiCallGate(const UiCallGate&) = delete;
  UiCallGate& operator=(const UiCallGate&) = delete;

  // Runs `call` on the UI thread later, unless the gate has closed by then.
  void Post(std::function<void()> call);
  // Runs `call` on the UI thread and returns when it has returned, or at once when the gate
  // closes first. Never called on the UI thread itself.
  void Run(std::function<void()> call);
  // UI thread: nothing runs from now on and every waiting Run returns.
  void Close();
  bool IsClosed() const;

 private:
  // Shared with the calls in flight, which may reach the UI thread after the gate is gone.
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    bool IsClosed() const;
  };

  PostFunction m_post;
  std::shared_ptr<State> m_state = std::make_shared<State>();
};

}  // namespace tarn
