// The system's multimedia timer can neither tick early nor rest.
#include "midi/platform/timer_wake.h"

bool tarn::platform::WakeTimerEvent(UINT /*timerId*/) {
  return false;
}

bool tarn::platform::RestTimerEvent(UINT /*timerId*/, bool /*resting*/) {
  return false;
}

void tarn::platform::AllowTimerRest(bool /*allowed*/) {}
