#include "engine/dispatcher.h"

#include <array>

#include "sysex/codec.h"

namespace tarn {
namespace {

// Reported for device input that cannot be trusted: a status byte that is no SysEx data byte,
// or read-back data that is malformed, does not fit or fails its checksum.
constexpr int32_t kStatusDeviceFailure = 1;
constexpr size_t kStatusPosition = 5;
constexpr size_t kIdentityPosition = 6;
constexpr size_t kReadMarkerPosition = 5;

void Complete(UpdateContext& context, int32_t status) {
  context.ResponseStatus = status;
  context.ResponseEvent.Set();
}

// Replies are assembled here, never in the worker's transmit buffer.
void SendHostStatus(UpdateContext& context, uint8_t status) {
  std::array<uint8_t, kHostStatusLength> reply{};
  const int32_t length = HostStatus(reply.data(), context.ModelByte(), status);
  context.SendSysEx(reply.data(), length);
}

void SendHostIdentity(UpdateContext& context) {
  std::array<uint8_t, kIdentityReplyLength> reply{};
  const int32_t length = IdentityReply(reply.data(), context.AcceptedIdentity.Load());
  context.SendSysEx(reply.data(), length);
}

// Stores good read-back data at ReadOffset and advances it; anything else writes nothing.
int32_t StoreReadData(UpdateContext& context, std::span<const uint8_t> message) {
  const auto payload = LocateReadFlashPayload(message);
  if (!payload) return kStatusDeviceFailure;
  std::lock_guard lock(context.ReadMutex);
  const int32_t offset = context.ReadOffset;
  if (offset < 0 || payload->rawLength > UpdateContext::kReadBufferSize - offset) {
    return kStatusDeviceFailure;
  }
  uint8_t* destination = context.ReadBuffer.data() + offset;
  Unpack7(destination, payload->packed.data(), static_cast<int32_t>(payload->packed.size()));
  if (Crc32Raw(destination, static_cast<uint32_t>(payload->rawLength)) != payload->expectedCrc) {
    return kStatusDeviceFailure;
  }
  context.ReadOffset = offset + payload->rawLength;
  return kStatusSuccess;
}

void HandleReadFlashReply(UpdateContext& context, std::span<const uint8_t> message) {
  // Without the data marker the reply only releases the wait; the status stays as it was.
  if (message[kReadMarkerPosition] != kReadFlashDataMarker) {
    context.ResponseEvent.Set();
    return;
  }
  Complete(context, StoreReadData(context, message));
}

void HandleDeviceStatus(UpdateContext& context, uint8_t status) {
  Complete(context, status < 0x80 ? status : kStatusDeviceFailure);
}

void HandleIdentityReply(UpdateContext& context, std::span<const uint8_t> message) {
  Identity identity{};
  for (size_t i = 0; i < identity.size(); ++i)
    identity[i] = message[kIdentityPosition + i];
  context.DeviceIdentity.Store(identity);
  Complete(context, kStatusSuccess);
}

void Handle(UpdateContext& context, std::span<const uint8_t> message) {
  switch (Classify(message)) {
    case IncomingKind::kDeviceStatus:
      HandleDeviceStatus(context, message[kStatusPosition]);
      break;
    case IncomingKind::kDeviceDone:
      Complete(context, kStatusSuccess);
      break;
    case IncomingKind::kDeviceRequest:
      SendHostStatus(context, kHostAccept);
      break;
    case IncomingKind::kReadFlashReply:
      HandleReadFlashReply(context, message);
      break;
    case IncomingKind::kUnknownMakerCommand:
    case IncomingKind::kUnknownGeneralInformation:
      SendHostStatus(context, kHostReject);
      break;
    case IncomingKind::kIdentityReply:
      HandleIdentityReply(context, message);
      break;
    case IncomingKind::kIdentityRequest:
      SendHostIdentity(context);
      break;
    case IncomingKind::kDeviceNotice:
    case IncomingKind::kIgnored:
      break;
  }
}

}  // namespace

void ProcessIncoming(UpdateContext& context, MessageSource& source) {
  for (auto message = source.PeekSysEx(); !message.empty(); message = source.PeekSysEx()) {
    Handle(context, message);
    source.PopSysEx();
  }
}

}  // namespace tarn
