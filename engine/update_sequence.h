// The update from identity request to finish message, run on a worker thread.
#pragma once

#include <cstdint>

#include "engine/update_context.h"

namespace tarn {

// Runs one whole update on `context`, reporting to its observer, and says how it ended.
UpdateOutcome UpdateThreadProc(UpdateContext& context);

}  // namespace tarn
