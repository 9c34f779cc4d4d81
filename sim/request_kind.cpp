#include "sim/request_kind.h"

#include <array>

#include "sysex/messages.h"

namespace tarn::sim {
namespace {

constexpr std::array<std::string_view, kRequestKindCount> kNames{
    "identity", "begin",   "erase",       "write",          "read",
    "finish",   "unknown", "host-status", "identity-reply", "other"};

RequestKind ClassifyMaker(uint8_t command) {
  switch (command) {
    case command::kHostStatus:
      return RequestKind::kHostStatus;
    case command::kBeginUpdate:
      return RequestKind::kBeginUpdate;
    case command::kWriteBlock:
      return RequestKind::kWriteBlock;
    case command::kFinishUpdate:
      return RequestKind::kFinishUpdate;
    case command::kEraseFlash:
      return RequestKind::kEraseFlash;
    case command::kReadFlash:
      return RequestKind::kReadFlash;
    default:
      return RequestKind::kUnknownCommand;
  }
}

}  // namespace

RequestKind ClassifyRequest(std::span<const uint8_t> message) {
  constexpr size_t kCommandPosition = 4;
  if (message.size() <= kCommandPosition || message[0] != kSysExStart) return RequestKind::kOther;
  if (message[1] == kManufacturerId) return ClassifyMaker(message[kCommandPosition]);
  if (message[1] != kUniversalNonRealTime || message[3] != kGeneralInformation) {
    return RequestKind::kOther;
  }
  switch (message[kCommandPosition]) {
    case kIdentityRequestSubId:
      return RequestKind::kIdentityRequest;
    case kIdentityReplySubId:
      return RequestKind::kIdentityReply;
    default:
      return RequestKind::kOther;
  }
}

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

}  // namespace tarn::sim
