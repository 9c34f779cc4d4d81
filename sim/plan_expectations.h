// What a completed update leaves in the flash, from the flash plan and an image set.
#pragma once

#include "firmware/image_set.h"
#include "sim/flash_check.h"

namespace tarn::sim {

// Every written image at its plan address, and blank wherever the plan erased and wrote
// nothing. With `bootAreaRewritten` false the steps at address 0 are left out, as the update
// leaves a current boot area alone. An image the set lacks is expected to be left blank.
ExpectedFlash PlanExpectations(const ImageSet& images, bool bootAreaRewritten = true);

}  // namespace tarn::sim
