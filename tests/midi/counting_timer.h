// A timer that counts its ticks, for the tests of the timer on each platform.
#pragma once

#include <atomic>

#include "midi/dx_timer.h"

namespace tarn::test {

// A timer callback that counts its ticks in the std::atomic<int> it is given.
inline void CALLBACK CountTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  reinterpret_cast<std::atomic<int>*>(user)->fetch_add(1);
}

class CountingTimer : public CDxMTimer {
 public:
  ~CountingTimer() override { Stop(); }
  void OnTick() override { ++ticks; }
  std::atomic<int> ticks{0};
};

}  // namespace tarn::test
