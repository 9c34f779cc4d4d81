// What the virtual device can send unasked, by the names its tests and options use; the bytes
// come from sysex/device_messages.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarn::sim {

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
