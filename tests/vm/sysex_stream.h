// Test messages and their comparison, shared by the VM tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

using Bytes = std::vector<uint8_t>;

// A SysEx message of exactly `size` bytes (at least 3): F0, the non-commercial id 7D,
// pseudo-random 7-bit data drawn from `seed`, F7.
Bytes MakeSysEx(size_t size, uint32_t seed);

// Empty when `received` equals `sent`; otherwise where and how they first differ, short
// enough to print for a 64 KiB message.
std::string Mismatch(const Bytes& sent, const Bytes& received);

}  // namespace tarn
