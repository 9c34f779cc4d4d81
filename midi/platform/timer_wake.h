// Runs a periodic event's callback now, on the event's own thread, ahead of its next period:
// what a received message needs to be dispatched at once without a second dispatching thread.
// Not a WinMM call: where the timer is the system's (Windows) nothing can wake it, and the
// message waits for the next tick.
#pragma once

#include "midi/platform/winmm.h"

namespace tarn::platform {

// True when the event runs and will tick early; the wake is not counted, several before the
// tick make one tick.
bool WakeTimerEvent(UINT timerId);

}  // namespace tarn::platform
