#include "sysex/messages.h"

#include <algorithm>
#include <cstring>

#include "sysex/codec.h"

namespace tarn {
namespace {

// Bytes a message must hold for Classify to read the byte at `position`.
constexpr size_t Holds(size_t position) {
  return position + 1;
}

constexpr size_t kCommandPosition = 4;
constexpr size_t kStatusPosition = 5;
constexpr size_t kIdentityPosition = 6;
constexpr size_t kReadMarkerPosition = 5;
constexpr size_t kReadSelectorPosition = 6;
constexpr size_t kReadLengthPosition = 9;
constexpr size_t kReadDataPosition = 11;
constexpr size_t kEncoded35Length = 5;

// The model byte comes from whatever identity the device reported; bit 7 set there would end
// the SysEx message early on the wire, so only the data bits are sent.
constexpr uint8_t DataByte(uint8_t byte) {
  return byte & 0x7F;
}

int32_t MakerCommand(uint8_t* destination, uint8_t modelByte, uint8_t command) {
  destination[0] = kSysExStart;
  destination[1] = kManufacturerId;
  destination[2] = 0x00;
  destination[3] = DataByte(modelByte);
  destination[4] = command;
  return 5;
}

IncomingKind ClassifyMaker(std::span<const uint8_t> message) {
  if (message.size() < Holds(kCommandPosition)) return IncomingKind::kIgnored;
  switch (message[kCommandPosition]) {
    case command::kDeviceStatus:
      return message.size() < Holds(kStatusPosition) ? IncomingKind::kIgnored
                                                     : IncomingKind::kDeviceStatus;
    case command::kDeviceDone:
      return IncomingKind::kDeviceDone;
    case 0x01:
    case 0x04:
    case 0x05:
      return IncomingKind::kDeviceRequest;
    case command::kDeviceNotice:
      return IncomingKind::kDeviceNotice;
    case command::kReadFlashReply:
      return message.size() < Holds(kReadMarkerPosition) ? IncomingKind::kIgnored
                                                         : IncomingKind::kReadFlashReply;
    default:
      return IncomingKind::kUnknownMakerCommand;
  }
}

IncomingKind ClassifyUniversal(std::span<const uint8_t> message) {
  constexpr size_t kSubIdPosition = 3;
  if (message.size() < Holds(kCommandPosition)) return IncomingKind::kIgnored;
  if (message[kSubIdPosition] != kGeneralInformation) return IncomingKind::kIgnored;
  switch (message[kCommandPosition]) {
    case kIdentityRequestSubId:
      return IncomingKind::kIdentityRequest;
    case kIdentityReplySubId:
      return message.size() < Holds(kIdentityPosition + 3) ? IncomingKind::kIgnored
                                                           : IncomingKind::kIdentityReply;
    default:
      return IncomingKind::kUnknownGeneralInformation;
  }
}

// An area's address and byte count, each as a 35-bit number, close an erase or read request.
int32_t EndWithArea(uint8_t* destination, int32_t at, uint32_t address, uint32_t count) {
  Encode35(address, destination + at);
  at += kEncoded35Length;
  Encode35(count, destination + at);
  at += kEncoded35Length;
  destination[at++] = kSysExEnd;
  return at;
}

}  // namespace

int32_t WriteBlockLength(int32_t rawLength) {
  if (rawLength < 0 || rawLength > kMaxLen2) return 0;
  return PackedLength(rawLength) + 18;
}

int32_t IdentityRequest(uint8_t* destination) {
  constexpr uint8_t kMessage[kIdentityRequestLength] = {
      kSysExStart,         kUniversalNonRealTime, 0x00,
      kGeneralInformation, kIdentityRequestSubId, kSysExEnd};
  std::memcpy(destination, kMessage, sizeof kMessage);
  return kIdentityRequestLength;
}

int32_t IdentityReply(uint8_t* destination, const Identity& acceptedIdentity) {
  constexpr uint8_t kHead[] = {kSysExStart,         kUniversalNonRealTime, 0x00,
                               kGeneralInformation, kIdentityReplySubId,   kManufacturerId};
  constexpr uint8_t kTail[] = {'1', '0', '0', '0', kSysExEnd};
  std::memcpy(destination, kHead, sizeof kHead);
  for (size_t i = 0; i < acceptedIdentity.size(); ++i) {
    destination[sizeof kHead + i] = DataByte(acceptedIdentity[i]);
  }
  std::memcpy(destination + sizeof kHead + acceptedIdentity.size(), kTail, sizeof kTail);
  return kIdentityReplyLength;
}

int32_t BeginUpdate(uint8_t* destination, uint8_t modelByte) {
  int32_t at = MakerCommand(destination, modelByte, command::kBeginUpdate);
  destination[at++] = kSysExEnd;
  return at;
}

int32_t FinishUpdate(uint8_t* destination, uint8_t modelByte) {
  int32_t at = MakerCommand(destination, modelByte, command::kFinishUpdate);
  destination[at++] = kSysExEnd;
  return at;
}

int32_t HostStatus(uint8_t* destination, uint8_t modelByte, uint8_t status) {
  int32_t at = MakerCommand(destination, modelByte, command::kHostStatus);
  destination[at++] = DataByte(status);
  destination[at++] = kSysExEnd;
  return at;
}

int32_t EraseFlash(uint8_t* destination, uint8_t modelByte, uint32_t address, uint32_t count) {
  const int32_t at = MakerCommand(destination, modelByte, command::kEraseFlash);
  return EndWithArea(destination, at, address, count);
}

int32_t ReadFlash(uint8_t* destination, uint8_t modelByte, uint32_t address, uint32_t count) {
  int32_t at = MakerCommand(destination, modelByte, command::kReadFlash);
  destination[at++] = kReadFlashSelector;
  return EndWithArea(destination, at, address, count);
}

int32_t WriteBlock(uint8_t* destination, uint8_t modelByte, uint32_t address, const uint8_t* data,
                   int32_t length) {
  if (length < 0 || length > kMaxLen2) return 0;
  int32_t at = MakerCommand(destination, modelByte, command::kWriteBlock);
  Encode35(address, destination + at);
  at += kEncoded35Length;
  destination[at++] = static_cast<uint8_t>(length & 0x7F);
  destination[at++] = static_cast<uint8_t>((length >> 7) & 0x7F);
  at += Pack7(destination + at, data, length);
  Encode35(Crc32Raw(data, static_cast<uint32_t>(length)), destination + at);
  at += kEncoded35Length;
  destination[at++] = kSysExEnd;
  return at;
}

IncomingKind Classify(std::span<const uint8_t> message) {
  if (message.size() < Holds(1) || message[0] != kSysExStart) return IncomingKind::kIgnored;
  switch (message[1]) {
    case kManufacturerId:
      return ClassifyMaker(message);
    case kUniversalNonRealTime:
      return ClassifyUniversal(message);
    default:
      return IncomingKind::kIgnored;
  }
}

std::optional<ReadFlashPayload> LocateReadFlashPayload(std::span<const uint8_t> message) {
  if (Classify(message) != IncomingKind::kReadFlashReply) return std::nullopt;
  if (message.size() < Holds(kReadDataPosition - 1)) return std::nullopt;
  if (message[kReadMarkerPosition] != kReadFlashDataMarker ||
      message[kReadSelectorPosition] != kReadFlashSelector) {
    return std::nullopt;
  }
  const int32_t rawLength = message[kReadLengthPosition] | (message[kReadLengthPosition + 1] << 7);
  const size_t packedLength = static_cast<size_t>(PackedLength(rawLength));
  const size_t crcPosition = kReadDataPosition + packedLength;
  // A closing F7 ends the message: it can be neither data nor checksum.
  const size_t contentLength = message.back() == kSysExEnd ? message.size() - 1 : message.size();
  if (contentLength < crcPosition + kEncoded35Length) return std::nullopt;
  return ReadFlashPayload{rawLength, message.subspan(kReadDataPosition, packedLength),
                          Decode35(message.data() + crcPosition)};
}

IncomingMessage ParseIncoming(std::span<const uint8_t> message) {
  IncomingMessage parsed;
  parsed.kind = Classify(message);
  switch (parsed.kind) {
    case IncomingKind::kDeviceStatus:
      parsed.status = message[kStatusPosition];
      break;
    case IncomingKind::kIdentityReply:
      std::copy_n(message.begin() + kIdentityPosition, parsed.identity.size(),
                  parsed.identity.begin());
      break;
    case IncomingKind::kReadFlashReply:
      parsed.carriesData = message[kReadMarkerPosition] == kReadFlashDataMarker;
      parsed.payload = LocateReadFlashPayload(message);
      break;
    default:
      break;
  }
  return parsed;
}

}  // namespace tarn
