#include "tests/session/ui_queue.h"

#include <utility>

namespace tarn::test {

void UiQueue::Post(std::function<void()> call) {
  {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
  }
  m_posted.notify_all();
}

bool UiQueue::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    std::function<void()> call;
    {
      std::unique_lock lock(m_mutex);
      // Short waits: `done` may depend on other threads, not only on posted calls.
      const auto wake =
          std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
      if (!m_posted.wait_until(lock, wake, [&] { return !m_calls.empty(); })) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        continue;
      }
      call = std::move(m_calls.front());
      m_calls.pop_front();
    }
    call();
  }
  return true;
}

void UiQueue::PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

}  // namespace tarn::test
