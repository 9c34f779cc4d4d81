#include "sysex/request_kind.h"

#include <array>

namespace tarn {
namespace {

constexpr std::array<std::string_view, kRequestKindCount> kNames{
    "identity", "begin",   "erase",       "write",          "read",
    "finish",   "unknown", "host-status", "identity-reply", "other"};

}  // namespace

bool IsAnswered(RequestKind kind) {
  return kind != RequestKind::kHostStatus && kind != RequestKind::kIdentityReply &&
         kind != RequestKind::kOther;
}

std::string_view RequestKindName(RequestKind kind) {
  return kNames[static_cast<size_t>(kind)];
}

std::optional<RequestKind> RequestKindFromName(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<RequestKind>(i);
  }
  return std::nullopt;
}

}  // namespace tarn
