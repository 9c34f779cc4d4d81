// A timer that counts its ticks, for the tests of the timer on each platform.
#pragma once

#include <atomic>

#include "midi/dx_timer.h"

namespace tarn::test {

class CountingTimer : public CDxMTimer {
 public:
  ~CountingTimer() override { Stop(); }
  void OnTick() override { ++ticks; }
  std::atomic<int> ticks{0};
};

}  // namespace tarn::test
