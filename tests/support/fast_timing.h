// The engine's waits shortened for tests that run whole updates (never its retry counts).
#pragma once

#include <chrono>

#include "engine/update_context.h"

namespace tarn::test {

inline Timing FastTiming() {
  using namespace std::chrono_literals;
  Timing timing;
  timing.answerWait = 3000ms;
  timing.eraseWait = 3000ms;
  timing.readWait = 3000ms;
  timing.blockWait = 500ms;
  timing.retryPause = 5ms;
  timing.beginPause = 5ms;
  return timing;
}

}  // namespace tarn::test
