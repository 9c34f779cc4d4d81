// Reading the flash written in a run back from the device and comparing it with the images,
// before the update is finished.
#pragma once

#include <cstdint>
#include <span>

#include "engine/update_context.h"

namespace tarn {

// Bytes the plan wrote at `address` in this run.
struct WrittenArea {
  uint32_t address;
  std::span<const uint8_t> bytes;
};

// Reads every area back in chunks of one block. A block that reads back erased is written
// again and read again; any other difference fails with "Transfer error occurred.". A device
// that does not answer the first read with data of the length asked for cannot read its flash
// back: the update then goes on unverified (ThisRun().verification says which). 0 when the
// update may be finished, -1 when it failed (reported) or the owner is closing. The step box
// shows the verification after the plan's `stepCount` steps.
int32_t VerifyWrittenFlash(UpdateContext& context, std::span<const WrittenArea> areas,
                           int32_t stepCount);

}  // namespace tarn
