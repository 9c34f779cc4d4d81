#include "sim/flash_memory.h"

#include <algorithm>
#include <cstring>

#include "sysex/device_status.h"

namespace tarn::sim {

FlashMemory::FlashMemory() : m_bytes(kFlashSize, kErasedByte) {}

bool FlashMemory::Contains(uint32_t address, uint64_t count) const {
  return static_cast<uint64_t>(address) + count <= m_bytes.size();
}

uint8_t FlashMemory::Erase(uint32_t address, uint32_t count) {
  if (count == 0 || !Contains(address, count) || address % kSectorSize != 0 ||
      count % kSectorSize != 0) {
    return device_status::kOutOfRange;
  }
  std::memset(m_bytes.data() + address, kErasedByte, count);
  return device_status::kOk;
}

uint8_t FlashMemory::Program(uint32_t address, std::span<const uint8_t> data) {
  if (!Contains(address, data.size())) return device_status::kOutOfRange;
  uint8_t* target = m_bytes.data() + address;
  for (size_t i = 0; i < data.size(); ++i) {
    if (target[i] != kErasedByte && target[i] != data[i]) return device_status::kNotErased;
  }
  std::copy(data.begin(), data.end(), target);
  return device_status::kOk;
}

void FlashMemory::Preset(uint32_t address, std::span<const uint8_t> data) {
  if (Contains(address, data.size())) std::copy(data.begin(), data.end(), m_bytes.data() + address);
}

std::span<const uint8_t> FlashMemory::View(uint32_t address, uint32_t count) const {
  return std::span<const uint8_t>(m_bytes).subspan(address, count);
}

}  // namespace tarn::sim
