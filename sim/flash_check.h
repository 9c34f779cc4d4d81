// What the flash should hold after an update, and the check of a flash against it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn::sim {

struct ExpectedRegion {
  std::string name;  // for the summary, e.g. "image 129"
  uint32_t address;
  std::span<const uint8_t> bytes;
};

struct AddressRange {
  uint32_t address;
  uint32_t count;
};

struct ExpectedFlash {
  std::vector<ExpectedRegion> regions;
  // Erased ranges: every byte in them that no region covers must read 0xFF.
  std::vector<AddressRange> erased;
};

struct FlashCheck {
  bool ok;
  std::string summary;  // one line, for a test failure or a terminal
};

FlashCheck CheckFlash(std::span<const uint8_t> flash, const ExpectedFlash& expected);

}  // namespace tarn::sim
