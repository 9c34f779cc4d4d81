// The firmware image set built into this program (stand-in or real, chosen at configure time).
#pragma once

#include "firmware/catalog.h"
#include "firmware/firmware_set.h"

namespace tarn {

// Zero-copy views of the embedded images; lives for the whole process. Hashed at the first call.
const FirmwareSet& EmbeddedImages();

}  // namespace tarn
