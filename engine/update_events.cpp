#include "engine/update_events.h"

namespace tarn {

TextRef StepText(const StepEvent& event) {
  if (event.verifying) return {ids::kVerifyStep, {}};
  return {ids::kStepCounter, {event.step, event.count}};
}

}  // namespace tarn
