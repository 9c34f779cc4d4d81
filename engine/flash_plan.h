// The fixed order in which the device's flash is erased and rewritten.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/update_context.h"

namespace tarn {

enum class PlanMode : int32_t { kErase = 1, kWrite = 2 };

struct PlanStep {
  PlanMode mode;
  uint32_t address;
  uint32_t size;    // for a write, 0 means the image's own size
  int32_t imageId;  // 0 for erase steps
};

inline constexpr int32_t kBootImageId = 142;
inline constexpr uint32_t kBootVersionAddress = 0x22FFC;  // last four bytes of the boot area
inline constexpr uint32_t kBootVersionLength = 4;

// Version block first out, last in: an interrupted update leaves no valid version block.
inline constexpr std::array<PlanStep, 10> FlashPlan{{
    {PlanMode::kErase, 0xDF000, 0x1000, 0},
    {PlanMode::kErase, 0x23000, 0x1D000, 0},
    {PlanMode::kWrite, 0x23000, 0, 133},
    {PlanMode::kErase, 0x0, 0x23000, 0},
    {PlanMode::kWrite, 0x0, 0, 142},
    {PlanMode::kErase, 0x40000, 0x9F000, 0},
    {PlanMode::kWrite, 0x40000, 0, 129},
    {PlanMode::kErase, 0x160000, 0x6A0000, 0},
    {PlanMode::kWrite, 0x160000, 0x6A0000, 136},
    {PlanMode::kWrite, 0xDF000, 0, 139},
}};

// Bytes a write of `size` (0: the whole image) takes from an image of `imageSize` bytes: never
// past the image's own end, whatever the plan asks for.
uint32_t WriteLength(uint32_t size, size_t imageSize);

// Checks the boot area's version, then runs the plan. 0 when every step succeeded, -1 otherwise.
int32_t RunFlashPlan(UpdateContext& context);

}  // namespace tarn
