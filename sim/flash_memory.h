// The device's 8 MiB of NOR-like flash: erased bytes read 0xFF, erasing works on whole 4 KiB
// sectors, and data goes only where the flash was erased.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarn::sim {

inline constexpr uint32_t kFlashSize = 0x800000;
inline constexpr uint32_t kSectorSize = 0x1000;
inline constexpr uint8_t kErasedByte = 0xFF;

class FlashMemory {
 public:
  FlashMemory();

  // Sets [address, address + count) to 0xFF. kOutOfRange unless the range lies inside the
  // flash, is not empty and starts and ends on sector boundaries.
  uint8_t Erase(uint32_t address, uint32_t count);

  // Stores `data` at `address`. kOutOfRange outside the flash; kNotErased when a byte there is
  // neither erased nor already the byte to be stored (writing the same block again changes
  // nothing, as on real NOR flash, so a resent block is accepted).
  uint8_t Program(uint32_t address, std::span<const uint8_t> data);

  // Places bytes without the programming rules: the state the device left the factory with.
  void Preset(uint32_t address, std::span<const uint8_t> data);

  bool Contains(uint32_t address, uint64_t count) const;
  // The bytes of [address, address + count); the caller has checked Contains.
  std::span<const uint8_t> View(uint32_t address, uint32_t count) const;
  std::span<const uint8_t> All() const { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
};

}  // namespace tarn::sim
