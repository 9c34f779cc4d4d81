#include "engine/dispatcher.h"

#include <algorithm>
#include <array>
#include <optional>

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

// Stores good read-back data at ReadOffset and advances it; anything else writes nothing. A
// reply longer than the read asked for is refused: its data is not the data asked for. Once
// the read has all it asked for, a second reply to it (the late one of an earlier try) changes
// nothing: nothing, when the status and the event are to be left alone.
std::optional<int32_t> StoreReadData(UpdateContext& context,
                                     const std::optional<ReadFlashPayload>& payload) {
  std::lock_guard lock(context.ReadMutex);
  const int32_t offset = context.ReadOffset;
  if (offset > 0 && offset == context.ReadLength) return std::nullopt;
  if (!payload) return kStatusDeviceFailure;
  const int32_t room = std::min(context.ReadLength, UpdateContext::kReadBufferSize) - offset;
  if (offset < 0 || payload->rawLength > room) return kStatusDeviceFailure;
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
Reception Handle(UpdateContext& context, const IncomingMessage& message) {
  AnswerLedger& answers = context.Answers();
  switch (message.kind) {
    case IncomingKind::kDeviceStatus: {
      const int32_t status = message.status < 0x80 ? message.status : kStatusDeviceFailure;
      return answers.Receive(AnswerType::kStatus, status, [&] { Complete(context, status); });
    }
    case IncomingKind::kDeviceDone:
      return answers.Receive(AnswerType::kDone, kStatusSuccess,
                             [&] { Complete(context, kStatusSuccess); });
    case IncomingKind::kReadFlashReply:
      return answers.Receive(AnswerType::kReadReply, kStatusSuccess, [&] {
        // Without the data marker the reply only releases the wait; the status stays.
        if (!message.carriesData) {
          context.ResponseEvent.Set();
          return;
        }
        if (const auto status = StoreReadData(context, message.payload)) {
          Complete(context, *status);
        }
      });
    case IncomingKind::kIdentityReply:
      return answers.Receive(AnswerType::kIdentity, kStatusSuccess, [&] {
        context.DeviceIdentity.Store(message.identity);
        Complete(context, kStatusSuccess);
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
    if (Handle(context, ParseIncoming(message)) == Reception::kDropped)
      context.NoteDropped(message);
    source.PopSysEx();
  }
}

}  // namespace tarn
