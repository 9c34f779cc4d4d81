// What the virtual device makes of a message from the host: the kinds sysex/ tells apart, with
// the device's own names for them and which of them it answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sysex/host_requests.h"

namespace tarn::sim {

using RequestKind = HostMessageKind;
inline constexpr int32_t kRequestKindCount = kHostMessageKindCount;

// Whether the device answers this kind (the host's own answers and foreign bytes it does not).
bool IsAnswered(RequestKind kind);

// Short names for logs and command-line options: "identity", "begin", "erase", "write",
// "read", "finish", "unknown", "host-status", "identity-reply", "other".
std::string_view RequestKindName(RequestKind kind);
std::optional<RequestKind> RequestKindFromName(std::string_view name);

}  // namespace tarn::sim
