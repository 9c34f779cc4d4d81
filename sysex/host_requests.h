// What a device receives from the host: the kind of each message and, for the kinds that carry
// fields, those fields. For the simulated device and the tests' devices alike.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sysex/messages.h"
#include "sysex/request_kind.h"

namespace tarn {

// Judged only by the bytes that identify a message (its manufacturer, and its command or
// sub-ids); whether the rest is whole is for the parsers below to say.
RequestKind ClassifyHostMessage(std::span<const uint8_t> message);

struct EraseFlashRequest {
  uint32_t address;
  uint32_t count;
};

struct ReadFlashRequest {
  uint32_t address;
  uint32_t count;
};

struct WriteBlockPlace {
  uint32_t address;
  uint32_t length;  // of the block, unpacked
};

struct WriteBlockRequest {
  uint32_t address;
  std::vector<uint8_t> data;  // unpacked; as many bytes as the length field says
  bool crcMatches;            // the checksum in the message is that of `data`
};

// Each parser takes one whole message, F0 to F7, and gives its fields, or nothing when it is
// malformed: not of its kind, a length other than its own, a byte with bit 7 set between F0
// and F7, or no closing F7. None reads outside `message`.
std::optional<EraseFlashRequest> ParseEraseFlash(std::span<const uint8_t> message);  // 16 bytes
std::optional<ReadFlashRequest> ParseReadFlash(std::span<const uint8_t> message);    // 17 bytes
// 18 + PackedLength(n) bytes for a block of n bytes.
std::optional<WriteBlockRequest> ParseWriteBlock(std::span<const uint8_t> message);
// Where a write goes and its block's length, taken by the same rules but without unpacking the
// data or checking its sum: for a log of what came, which is kept once a turn at link pace.
std::optional<WriteBlockPlace> ParseWriteBlockPlace(std::span<const uint8_t> message);
std::optional<uint8_t> ParseHostStatus(std::span<const uint8_t> message);  // 7 bytes
// The identity the host names in its reply to the device's identity request (15 bytes).
std::optional<Identity> ParseHostIdentityReply(std::span<const uint8_t> message);
// BeginUpdate and FinishUpdate carry nothing but their command (6 bytes).
bool IsWellFormedBeginUpdate(std::span<const uint8_t> message);
bool IsWellFormedFinishUpdate(std::span<const uint8_t> message);

}  // namespace tarn
