// What a device sends: its answers to the host's requests, and the requests and notices it may
// send unasked. Each builder gives one whole message, F0 to F7, in which every byte between F0
// and F7 is a data byte (bit 7 clear), whatever bytes it was given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sysex/messages.h"

namespace tarn {

// The software version in the device's identity reply, e.g. "0100".
using VersionText = std::array<uint8_t, 4>;

// Maker commands the device sends unasked. The host answers the requests with HostStatus 00,
// leaves the notice unanswered and answers a command it does not know with HostStatus 01.
namespace device_command {
inline constexpr uint8_t kRequest01 = 0x01;
inline constexpr uint8_t kRequest04 = 0x04;
inline constexpr uint8_t kRequest05 = 0x05;
inline constexpr uint8_t kNotice = command::kDeviceNotice;
inline constexpr uint8_t kUnknown = 0x06;  // no such command
}  // namespace device_command

// A general-information sub-id that means nothing here: the host answers it with HostStatus 01.
inline constexpr uint8_t kUnknownGeneralInformationSubId = 0x03;

// F0 52 00 mm 00 ss F7
std::vector<uint8_t> DeviceStatusMessage(uint8_t modelByte, uint8_t status);
// F0 52 00 mm 02 F7
std::vector<uint8_t> DeviceDoneMessage(uint8_t modelByte);
// F0 7E 00 06 02 52 <identity> <version> F7
std::vector<uint8_t> DeviceIdentityReplyMessage(const Identity& identity,
                                                const VersionText& version);

// `message` cut after its first `keep` bytes and closed again: a reply cut short on the wire.
// Unchanged when it is no longer than that.
void CutMessage(std::vector<uint8_t>& message, size_t keep);

// The checksum a ReadFlashReply carries: that of its data, or one that does not match it (a
// fault to inject).
enum class ReplyChecksum { kIntact, kSpoiled };

// F0 52 00 mm 60 04 30 00 00 len2 packed crc5 F7. Empty when `data` holds more than kMaxLen2
// bytes, more than the length field can say.
std::vector<uint8_t> ReadFlashReplyMessage(uint8_t modelByte, std::span<const uint8_t> data,
                                           ReplyChecksum checksum = ReplyChecksum::kIntact);

// F0 52 00 mm cc F7: a maker message that is nothing but its command.
std::vector<uint8_t> MakerCommandMessage(uint8_t modelByte, uint8_t command);
// F0 7E 00 06 ss F7: the device's identity request (kIdentityRequestSubId), or another
// general-information message.
std::vector<uint8_t> GeneralInformationMessage(uint8_t subId);

// The data of a ReadFlashReply, unpacked, and whether the checksum that came with it holds.
struct ReadFlashReplyData {
  std::vector<uint8_t> data;
  bool crcMatches;
};

// Nothing when `message` is not a ReadFlashReply that holds as much data as it announces.
std::optional<ReadFlashReplyData> UnpackReadFlashReply(std::span<const uint8_t> message);

}  // namespace tarn
