// The one place where received device messages are interpreted. Runs on every timer tick.
#pragma once

#include "engine/message_source.h"
#include "engine/update_context.h"

namespace tarn {

// Handles every message queued in `source`, oldest first, until it is empty: answers the
// device where the protocol asks for it, and hands results to a waiting worker through
// the context's Complete and Release.
void ProcessIncoming(UpdateContext& context, MessageSource& source);

}  // namespace tarn
