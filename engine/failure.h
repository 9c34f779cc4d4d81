// How the update worker's procedures report the failure that ends an update.
#pragma once

#include "engine/update_context.h"

namespace tarn {

// Error box with `text`, then the controls back to the user; the run ends failed with that
// text. Nothing is shown once the owner is closing: its window is going away.
void Fail(UpdateContext& context, TextRef text);
// The output port reported the device gone: the update ends at once with the port's own text,
// instead of waiting for answers that cannot come.
void FailPortGone(UpdateContext& context);

}  // namespace tarn
