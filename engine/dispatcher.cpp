#include "engine/dispatcher.h"

#include <array>

#include "sysex/codec.h"

namespace tarn {
namespace {

// Reported for device input that cannot be trusted: a status byte that is no SysEx data byte,
// or read-back data that is malformed, does not fit or fails its checksum.
constexpr int32_t kStatusDeviceFailure = 1;

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
int32_t StoreReadData(UpdateContext& context, const std::optional<ReadFlashPayload>& payload) {
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

// An answer reaches the worker only when it is owed one that this answer can be; otherwise it
// changes nothing at all, not even the status.
void Handle(UpdateContext& context, const IncomingMessage& message) {
  AnswerLedger& answers = context.Answers();
  switch (message.kind) {
    case IncomingKind::kDeviceStatus: {
      const int32_t status = message.status < 0x80 ? message.status : kStatusDeviceFailure;
      answers.Receive(AnswerType::kStatus, status, [&] { Complete(context, status); });
      break;
    }
    case IncomingKind::kDeviceDone:
      answers.Receive(AnswerType::kDone, kStatusSuccess,
                      [&] { Complete(context, kStatusSuccess); });
      break;
    case IncomingKind::kReadFlashReply:
      answers.Receive(AnswerType::kReadReply, kStatusSuccess, [&] {
        // Without the data marker the reply only releases the wait; the status stays.
        if (!message.carriesData) {
          context.ResponseEvent.Set();
          return;
        }
        Complete(context, StoreReadData(context, message.payload));
      });
      break;
    case IncomingKind::kIdentityReply:
      answers.Receive(AnswerType::kIdentity, kStatusSuccess, [&] {
        context.DeviceIdentity.Store(message.identity);
        Complete(context, kStatusSuccess);
      });
      break;
    case IncomingKind::kDeviceRequest:
      SendHostStatus(context, kHostAccept);
      break;
    case IncomingKind::kUnknownMakerCommand:
    case IncomingKind::kUnknownGeneralInformation:
      SendHostStatus(context, kHostReject);
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
    Handle(context, ParseIncoming(message));
    source.PopSysEx();
  }
}

}  // namespace tarn
