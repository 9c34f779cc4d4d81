#include "sim/plan_expectations.h"

#include <algorithm>
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
    const size_t size = step.size == 0 ? image->size() : std::min<size_t>(step.size, image->size());
    expected.regions.push_back(
        {"image " + std::to_string(step.imageId), step.address, image->first(size)});
  }
  return expected;
}

}  // namespace tarn::sim
