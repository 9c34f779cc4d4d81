// The SHA-256 of every image of the stand-in set, written by the build's stand-in generator
// (stand_in_gen.cpp): a set whose images all carry these is the stand-in set.
#pragma once

#include <cstdint>

#include "firmware/sha256.h"

namespace tarn::firmware {

// Nothing for an id the catalogue does not hold.
const Sha256Digest* StandInDigest(int32_t id);

}  // namespace tarn::firmware
