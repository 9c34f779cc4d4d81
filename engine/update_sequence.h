// The update from identity request to finish message, run on a worker thread.
#pragma once

#include <cstdint>

#include "engine/update_context.h"

namespace tarn {

// Runs one whole update on `context`, reporting through its view. Always returns 0.
uint32_t UpdateThreadProc(UpdateContext& context);

}  // namespace tarn
