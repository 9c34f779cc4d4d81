// The status codes a device answers with in a DeviceStatus message.
#pragma once

#include <cstdint>

namespace tarn::device_status {

inline constexpr uint8_t kOk = 0x00;
inline constexpr uint8_t kCrcMismatch = 0x01;  // a WriteBlock whose data fails its checksum
inline constexpr uint8_t kOutOfRange = 0x02;   // outside the flash, unaligned erase, bad count
inline constexpr uint8_t kNotErased = 0x03;    // a write over bytes that were not erased
inline constexpr uint8_t kMalformed = 0x04;    // too short, or its length does not add up
inline constexpr uint8_t kUnknownCommand = 0x05;
inline constexpr uint8_t kNotInUpdateMode = 0x0B;

}  // namespace tarn::device_status
