// Erasing one flash area and writing one firmware image in blocks.
#pragma once

#include <cstdint>
#include <span>

#include "engine/update_context.h"

namespace tarn {

inline constexpr int32_t kEraseAttempts = 7;   // requests per area before giving up
inline constexpr int32_t kBlockAttempts = 32;  // consecutive failures of one block

// 0 on success, -1 on failure (already reported) or when the owner is closing.
int32_t EraseArea(UpdateContext& context, uint32_t address, uint32_t size);
// Writes image `imageId` at `address`; a `size` of 0 means the image's own size.
int32_t TransmitImage(UpdateContext& context, uint32_t address, uint32_t size, int32_t imageId);
// Writes one block of an image at `address` until the device accepts it, within the block
// limits; `offset` and `total` are the block's place in its image, for the status text.
int32_t TransmitBlock(UpdateContext& context, uint32_t address, std::span<const uint8_t> block,
                      int32_t offset, int32_t total);

}  // namespace tarn
