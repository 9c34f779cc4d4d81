// Pack7/Unpack7, Encode35/Decode35 and Crc32Raw over arbitrary bytes, each checked against an
// oracle that does not share its code. Buffers are sized exactly so ASan sees any overrun.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sysex/codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Require(bool condition) {
  if (!condition) std::abort();
}

uint32_t BitwiseCrc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
  }
  return ~crc;
}

void CheckPackRoundTrip(const Bytes& raw) {
  const auto length = static_cast<int32_t>(raw.size());
  Bytes packed(static_cast<size_t>(tarn::PackedLength(length)));
  Require(tarn::Pack7(packed.data(), raw.data(), length) == static_cast<int32_t>(packed.size()));
  for (uint8_t b : packed)
    Require(b < 0x80);
  Require(tarn::UnpackedLength(static_cast<int32_t>(packed.size())) == length);
  Bytes unpacked(raw.size());
  Require(tarn::Unpack7(unpacked.data(), packed.data(), static_cast<int32_t>(packed.size())) ==
          length);
  Require(unpacked == raw);
}

// Any byte string read as a packed stream: each data byte keeps its low seven bits, and bit 7
// is set when either the data byte or its header flag carries it.
void CheckUnpackOfAnyStream(const Bytes& packed) {
  const auto packedLength = static_cast<int32_t>(packed.size());
  Bytes raw(static_cast<size_t>(tarn::UnpackedLength(packedLength)));
  Require(tarn::Unpack7(raw.data(), packed.data(), packedLength) ==
          static_cast<int32_t>(raw.size()));
  for (size_t i = 0; i < raw.size(); ++i) {
    const size_t group = i / 7;
    const size_t index = i % 7;
    const uint8_t header = packed[group * 8];
    const uint8_t data = packed[group * 8 + 1 + index];
    const bool flagged = (header >> (6 - index)) & 1u;
    Require(raw[i] == (data | (flagged ? 0x80 : 0x00)));
  }
}

void CheckNumbers(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 5 <= size; at += 5) {
    uint32_t value = 0;
    std::memcpy(&value, data + at, sizeof value);
    uint8_t encoded[5];
    tarn::Encode35(value, encoded);
    for (uint8_t b : encoded)
      Require(b < 0x80);
    Require(tarn::Decode35(encoded) == value);

    const uint32_t decoded = tarn::Decode35(data + at);
    tarn::Encode35(decoded, encoded);
    for (int i = 0; i < 4; ++i)
      Require(encoded[i] == (data[at + i] & 0x7F));
    Require(encoded[4] == (data[at + 4] & 0x0F));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes bytes(data, data + size);
  CheckPackRoundTrip(bytes);
  CheckUnpackOfAnyStream(bytes);
  CheckNumbers(bytes.data(), bytes.size());
  Require(~tarn::Crc32Raw(bytes.data(), static_cast<uint32_t>(bytes.size())) ==
          BitwiseCrc32(bytes.data(), bytes.size()));
  return 0;
}
