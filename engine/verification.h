// Reading each area back from the device right after it was written, and comparing it with
// its image.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/update_context.h"

namespace tarn {

// Bytes the plan wrote at `address` in this run.
struct WrittenArea {
  uint32_t address;
  std::span<const uint8_t> bytes;
};

enum class AreaCheck {
  kVerified,    // it reads back as written
  kUnreadable,  // the device cannot read its flash back: nothing was compared
  kWrong,       // a block reads back wrong but not erased: only erasing the area mends it
  kFailed,      // the update ends here (reported), or the owner is closing
};

// One per run: the run's first read decides whether the device can read back at all.
class AreaVerifier {
 public:
  explicit AreaVerifier(UpdateContext& context) : m_context(context) {}

  // Reads `area` back in reads of one block. A block that reads back erased was never stored:
  // it is written again and read again, within the block's retry limits. The step box shows
  // the verification of plan step `step` of `stepCount`, the progress bar the bytes verified.
  AreaCheck Verify(const WrittenArea& area, int32_t step, int32_t stepCount);
  // Whether the device answered a read with data yet.
  bool AnyRead() const { return m_anyRead; }

 private:
  AreaCheck Block(uint32_t address, std::span<const uint8_t> expected, int32_t offset,
                  int32_t areaSize);
  AreaCheck Read(uint32_t address, int32_t length, int32_t offset, int32_t areaSize);
  void ShowArea(int32_t areaSize);

  UpdateContext& m_context;
  bool m_anyRead = false;
  int32_t m_step = 0;
  int32_t m_stepCount = 0;
  std::vector<uint8_t> m_bytes;
};

}  // namespace tarn
