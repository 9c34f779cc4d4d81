// The firmware images as the Windows program carries them: resources of type "BIN" in its own
// executable, numbered by their ids.
#pragma once

#include "firmware/firmware_set.h"

namespace tarn {

// Views of the resources of the running executable; lives for the whole process.
const FirmwareSet& ResourceImages();

}  // namespace tarn
