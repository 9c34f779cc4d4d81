// The firmware image set built into this program (stand-in or real, chosen at configure time).
#pragma once

#include "engine/image_set.h"
#include "resources/firmware_catalog.h"

namespace tarn {

// Zero-copy views of the embedded images; lives for the whole process.
const ImageSet& EmbeddedImages();

}  // namespace tarn
