// Byte-level codec of the SysEx protocol: 8-bit data in 7-bit groups, 32-bit numbers as five
// 7-bit groups, and the CRC-32 (initial value 0xFFFFFFFF, no final inversion) that guards data.
// Stateless free functions over caller-owned buffers; nothing allocates, nothing validates.
#pragma once

#include <cstdint>

namespace tarn {

// One table step of the reflected CRC-32 of polynomial 0xEDB88320.
uint32_t Crc32Step(uint32_t crc, uint8_t byte);

// CRC-32 over raw bytes, starting from 0xFFFFFFFF and not inverted at the end: the bitwise
// complement of the common CRC-32 of the same bytes.
uint32_t Crc32Raw(const uint8_t* data, uint32_t count);

// Packs `length` raw bytes into groups of a header byte and up to seven 7-bit bytes. Writes
// exactly PackedLength(length) bytes and returns that count; writes nothing for length <= 0.
int32_t Pack7(uint8_t* destination, const uint8_t* source, int32_t length);

// Reverses Pack7: reads exactly `packedLength` bytes and returns the raw count written.
int32_t Unpack7(uint8_t* destination, const uint8_t* source, int32_t packedLength);

// A 32-bit value as five 7-bit groups, least significant first; the fifth holds bits 28-31.
void Encode35(uint32_t value, uint8_t* destination);
uint32_t Decode35(const uint8_t* source);

// Bytes that Pack7 writes for `rawLength` raw bytes (0 for a length of 0 or less).
int32_t PackedLength(int32_t rawLength);

// Raw bytes that a packed stream of `packedLength` bytes stands for (inverse of PackedLength).
int32_t UnpackedLength(int32_t packedLength);

}  // namespace tarn
