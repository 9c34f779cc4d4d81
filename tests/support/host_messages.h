// The host's messages as a test hands them to a device, each built with the host's own
// builders, and the ways a test spoils a good one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sysex/messages.h"

namespace tarn::test {

inline constexpr uint8_t kRequestModel = 0x6E;

// Built in a buffer with guard bytes after `length`: the builder must write exactly `length`
// bytes and touch none of the guard.
inline std::vector<uint8_t> Built(size_t length, const std::function<int32_t(uint8_t*)>& build) {
  constexpr uint8_t kGuard = 0xA5;
  std::vector<uint8_t> buffer(length + 16, kGuard);
  EXPECT_EQ(build(buffer.data()), static_cast<int32_t>(length));
  for (size_t i = length; i < buffer.size(); ++i)
    EXPECT_EQ(buffer[i], kGuard) << i;
  buffer.resize(length);
  return buffer;
}

inline std::vector<uint8_t> MakeIdentityRequest() {
  return Built(kIdentityRequestLength, [](uint8_t* d) { return IdentityRequest(d); });
}
inline std::vector<uint8_t> MakeBegin() {
  return Built(kBeginUpdateLength, [](uint8_t* d) { return BeginUpdate(d, kRequestModel); });
}
inline std::vector<uint8_t> MakeFinish() {
  return Built(kFinishUpdateLength, [](uint8_t* d) { return FinishUpdate(d, kRequestModel); });
}
inline std::vector<uint8_t> MakeErase(uint32_t address, uint32_t count) {
  return Built(kEraseFlashLength,
               [&](uint8_t* d) { return EraseFlash(d, kRequestModel, address, count); });
}
inline std::vector<uint8_t> MakeRead(uint32_t address, uint32_t count) {
  return Built(kReadFlashLength,
               [&](uint8_t* d) { return ReadFlash(d, kRequestModel, address, count); });
}
inline std::vector<uint8_t> MakeWrite(uint32_t address, std::span<const uint8_t> data) {
  const auto length = static_cast<int32_t>(data.size());
  return Built(static_cast<size_t>(WriteBlockLength(length)), [&](uint8_t* d) {
    return WriteBlock(d, kRequestModel, address, data.data(), length);
  });
}
inline std::vector<uint8_t> MakeHostStatus(uint8_t status) {
  return Built(kHostStatusLength, [&](uint8_t* d) { return HostStatus(d, kRequestModel, status); });
}
inline std::vector<uint8_t> MakeIdentityReply(const Identity& identity) {
  return Built(kIdentityReplyLength, [&](uint8_t* d) { return IdentityReply(d, identity); });
}

// The same message one data byte short or long: a length that does not add up.
inline std::vector<uint8_t> Shortened(std::vector<uint8_t> message) {
  message.erase(message.end() - 2);
  return message;
}
inline std::vector<uint8_t> Lengthened(std::vector<uint8_t> message) {
  message.insert(message.end() - 1, 0x00);
  return message;
}

// A SysEx message of `length` bytes: F0, a counting pattern below 0x80, F7.
inline std::vector<uint8_t> SysEx(size_t length) {
  std::vector<uint8_t> message(length);
  for (size_t i = 0; i < length; ++i)
    message[i] = static_cast<uint8_t>(i % 0x80);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

// Bytes that differ from block to block, so a misplaced block shows.
inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = static_cast<uint8_t>(i * 7 + seed);
  return data;
}

}  // namespace tarn::test
