// A UI thread for tests without a toolkit: calls posted from any thread run on the thread that
// pumps, one at a time, in the order they were posted.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tarn::test {

class UiQueue {
 public:
  // Any thread.
  void Post(std::function<void()> call);
  // Runs posted calls until `done()` holds (checked before and after each call) or `timeout`
  // has passed; whether `done()` held.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs posted calls for `duration`.
  void PumpFor(std::chrono::milliseconds duration);

 private:
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<std::function<void()>> m_calls;
};

}  // namespace tarn::test
