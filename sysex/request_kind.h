// The kinds of message a device receives from the host, told apart by the bytes that identify
// them. One list for the engine's ledger, the simulated device and the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarn {

enum class RequestKind : int32_t {
  kIdentityRequest,  // F0 7E xx 06 01
  kBeginUpdate,      // maker 01
  kEraseFlash,       // maker 0A
  kWriteBlock,       // maker 02
  kReadFlash,        // maker 60
  kFinishUpdate,     // maker 04
  kUnknownCommand,   // any other maker command
  kHostStatus,       // maker 00: the host's answer to a device request
  kIdentityReply,    // F0 7E xx 06 02: the host's answer to the device's identity request
  kOther,            // not SysEx, another manufacturer, other universal messages, too short
};
inline constexpr int32_t kRequestKindCount = 10;

// Whether a device answers this kind (the host's own answers and foreign bytes it does not).
bool IsAnswered(RequestKind kind);

// Short names for logs and command-line options: "identity", "begin", "erase", "write",
// "read", "finish", "unknown", "host-status", "identity-reply", "other".
std::string_view RequestKindName(RequestKind kind);
std::optional<RequestKind> RequestKindFromName(std::string_view name);

}  // namespace tarn
