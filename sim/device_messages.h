// Messages the device sends: its answers, and the requests and oddities it may send unasked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sysex/messages.h"

namespace tarn::sim {

using VersionText = std::array<uint8_t, 4>;

// F0 52 00 mm 00 ss F7
std::vector<uint8_t> DeviceStatusMessage(uint8_t modelByte, uint8_t status);
// F0 7E 00 06 02 52 <identity> <version> F7
std::vector<uint8_t> DeviceIdentityReply(const Identity& identity, const VersionText& version);
// F0 52 00 mm 60 04 30 00 00 len2 packed crc5 F7; `corruptCrc` sends a checksum that does not
// match the data. `data` holds at most kMaxLen2 bytes.
std::vector<uint8_t> ReadFlashReplyMessage(uint8_t modelByte, std::span<const uint8_t> data,
                                           bool corruptCrc);

// What the device can send unasked, and what the host is to do with it.
enum class Unsolicited : int32_t {
  kIdentityRequest,  // F0 7E 00 06 01 F7: host answers with its IdentityReply
  kRequest01,        // maker 01, 04, 05: host answers HostStatus 00
  kRequest04,
  kRequest05,
  kNotice03,                   // maker 03: no answer
  kUnknownCommand,             // maker 06: host answers HostStatus 01
  kUnknownGeneralInformation,  // F0 7E 00 06 03 F7: host answers HostStatus 01
  kNonSysEx,                   // a note-on: ignored
};
inline constexpr int32_t kUnsolicitedCount = 8;

std::vector<uint8_t> UnsolicitedMessage(Unsolicited kind, uint8_t modelByte);

// "identity", "01", "04", "05", "03", "unknown", "universal", "non-sysex".
std::string_view UnsolicitedName(Unsolicited kind);
std::optional<Unsolicited> UnsolicitedFromName(std::string_view name);

}  // namespace tarn::sim
