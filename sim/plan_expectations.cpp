#include "sim/plan_expectations.h"

#include <string>

#include "engine/flash_plan.h"

namespace tarn::sim {

ExpectedFlash PlanExpectations(const ImageSet& images, bool bootAreaRewritten) {
  ExpectedFlash expected;
  for (const PlanStep& step : FlashPlan) {
    if (step.address == 0 && !bootAreaRewritten) continue;
    if (step.mode == PlanMode::kErase) {
      expected.erased.push_back({step.address, step.size});
      continue;
    }
    const auto image = images.Find(step.imageId);
    if (!image) continue;
    expected.regions.push_back({"image " + std::to_string(step.imageId), step.address,
                                image->first(WriteLength(step.size, image->size()))});
  }
  return expected;
}

}  // namespace tarn::sim
