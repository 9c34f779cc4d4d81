// Runs a periodic event's callback now, on the event's own thread, ahead of its next period:
// what a received message needs to be dispatched at once without a second dispatching thread.
// Lets an event rest while its owner has nothing to do on every period, so that an idle
// program wakes no thread. Not WinMM calls: where the timer is the system's (Windows) nothing
// can wake or rest it, and the event ticks every period.
#pragma once

#include "midi/platform/winmm.h"

namespace tarn::platform {

// True when the event runs and will tick early; the wake is not counted, several before the
// tick make one tick.
bool WakeTimerEvent(UINT timerId);

// With `resting`, the event ticks only when woken, from the tick in progress (if any) on; a
// wake that came before the rest is still ticked. Without it, the event ticks at once and
// every period after. True when the event runs and does as asked.
bool RestTimerEvent(UINT timerId, bool resting);

// For the benchmarks, which measure what resting saves: without it, every later request to
// rest is refused. Allowed by default.
void AllowTimerRest(bool allowed);

}  // namespace tarn::platform
