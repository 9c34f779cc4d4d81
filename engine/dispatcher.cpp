#include "engine/dispatcher.h"

#include <array>
#include <optional>

namespace tarn {
namespace {

// Reported for device input that cannot be trusted: a status byte that is no SysEx data byte,
// or read-back data that is malformed, does not fit or fails its checksum.
constexpr int32_t kStatusDeviceFailure = 1;

// Replies are assembled here, never in the worker's transmit buffer.
void SendHostStatus(UpdateContext& context, uint8_t status) {
  std::array<uint8_t, kHostStatusLength> reply{};
  const int32_t length = HostStatus(reply.data(), context.ModelByte(), status);
  context.SendSysEx(reply.data(), length);
}

void SendHostIdentity(UpdateContext& context) {
  std::array<uint8_t, kIdentityReplyLength> reply{};
  const int32_t length = IdentityReply(reply.data(), context.AcceptedIdentity());
  context.SendSysEx(reply.data(), length);
}

// Stores good read-back data behind what the read has; anything else is a device failure. Once
// the read has all it asked for, a second reply to it (the late one of an earlier try) changes
// nothing, not the status and not the wait.
void StoreReadData(UpdateContext& context, const std::optional<ReadFlashPayload>& payload) {
  switch (context.ReadBack().Store(payload)) {
    case ReadBackBuffer::Stored::kStored:
      context.Complete(kStatusSuccess);
      break;
    case ReadBackBuffer::Stored::kRejected:
      context.Complete(kStatusDeviceFailure);
      break;
    case ReadBackBuffer::Stored::kComplete:
      break;
  }
}

// An answer reaches the worker only when it is owed one that this answer can be; otherwise it
// changes nothing at all, not even the status.
Reception Handle(UpdateContext& context, const IncomingMessage& message) {
  AnswerLedger& answers = context.Answers();
  switch (message.kind) {
    case IncomingKind::kDeviceStatus: {
      const int32_t status = message.status < 0x80 ? message.status : kStatusDeviceFailure;
      return answers.Receive(AnswerType::kStatus, status, [&] { context.Complete(status); });
    }
    case IncomingKind::kDeviceDone:
      return answers.Receive(AnswerType::kDone, kStatusSuccess,
                             [&] { context.Complete(kStatusSuccess); });
    case IncomingKind::kReadFlashReply:
      return answers.Receive(AnswerType::kReadReply, kStatusSuccess, [&] {
        // Without the data marker the reply only releases the wait; the status stays.
        if (message.carriesData) {
          StoreReadData(context, message.payload);
        } else {
          context.Release();
        }
      });
    case IncomingKind::kIdentityReply:
      return answers.Receive(AnswerType::kIdentity, kStatusSuccess, [&] {
        context.StoreDeviceIdentity(message.identity);
        context.Complete(kStatusSuccess);
      });
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
  return Reception::kDelivered;
}

}  // namespace

void ProcessIncoming(UpdateContext& context, MessageSource& source) {
  for (auto message = source.PeekSysEx(); !message.empty(); message = source.PeekSysEx()) {
    const Reception reception = Handle(context, ParseIncoming(message));
    context.WakeWorker();
    if (reception == Reception::kDropped) context.NoteDropped(message);
    source.PopSysEx();
  }
}

}  // namespace tarn
