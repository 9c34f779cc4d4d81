#include "engine/failure.h"

#include <utility>

namespace tarn {

void Fail(UpdateContext& context, TextRef text) {
  if (context.Closing()) return;
  context.ThisRun().failure = text;
  context.Report(FailureEvent{std::move(text)});
  // The box may have stayed open while the owner closed.
  if (!context.Closing()) context.Report(ControlsRestoredEvent{});
}

void FailPortGone(UpdateContext& context) {
  Fail(context, {ids::kCantOpenMidiOut, {}});
}

}  // namespace tarn
