// The engine's times shortened for tests, never its retry counts (which are no part of Timing).
#pragma once

#include <chrono>

#include "engine/update_context.h"

namespace tarn::test {

// What a test chooses; the rest is the same for every test. The fakes answer within
// milliseconds, so identity, begin and finish wait three seconds, which only an answer that
// never comes runs out, and the pause after begin is 5 ms.
struct TestTimes {
  std::chrono::milliseconds blockWait;   // against the answers a test holds back
  std::chrono::milliseconds retryPause;  // between tries
  std::chrono::milliseconds settleWait = Timing{}.settleWait;
  std::chrono::milliseconds eraseWait = std::chrono::seconds(3);  // and the read wait
};

inline Timing TestTiming(const TestTimes& times) {
  using namespace std::chrono_literals;
  Timing timing;
  timing.answerWait = 3000ms;
  timing.eraseWait = times.eraseWait;
  timing.readWait = times.eraseWait;
  timing.blockWait = times.blockWait;
  timing.retryPause = times.retryPause;
  timing.beginPause = 5ms;
  timing.settleWait = times.settleWait;
  return timing;
}

// For the dialog tests, which run whole updates.
inline Timing FastTiming() {
  using namespace std::chrono_literals;
  return TestTiming({.blockWait = 500ms, .retryPause = 5ms});
}

}  // namespace tarn::test
