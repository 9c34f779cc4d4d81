// The system's multimedia timer has no way to tick early.
#include "midi/platform/timer_wake.h"

bool tarn::platform::WakeTimerEvent(UINT /*timerId*/) {
  return false;
}
