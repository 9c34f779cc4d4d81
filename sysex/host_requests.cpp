#include "sysex/host_requests.h"

#include <algorithm>

#include "sysex/codec.h"
#include "sysex/device_messages.h"
#include "sysex/field_reader.h"

namespace tarn {
namespace {

// F0 52, the device number and the model byte (no request is judged by either), `command`.
FieldReader MakerMessage(std::span<const uint8_t> message, uint8_t command) {
  FieldReader reader(message);
  reader.Expect(kSysExStart);
  reader.Expect(kManufacturerId);
  reader.Data();
  reader.Data();
  reader.Expect(command);
  return reader;
}

RequestKind MakerKind(uint8_t command) {
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

RequestKind GeneralInformationKind(uint8_t subId) {
  switch (subId) {
    case kIdentityRequestSubId:
      return RequestKind::kIdentityRequest;
    case kIdentityReplySubId:
      return RequestKind::kIdentityReply;
    default:
      return RequestKind::kOther;
  }
}

bool IsBareCommand(std::span<const uint8_t> message, uint8_t command) {
  return MakerMessage(message, command).Closed();
}

struct WriteBlockFields {
  uint32_t address;
  int32_t length;
  std::span<const uint8_t> packed;
  uint32_t crc;
};

std::optional<WriteBlockFields> ReadWriteBlockFields(std::span<const uint8_t> message) {
  FieldReader reader = MakerMessage(message, command::kWriteBlock);
  const uint32_t address = reader.Number35();
  const int32_t length = reader.Length14();
  const std::span<const uint8_t> packed = reader.Data(static_cast<size_t>(PackedLength(length)));
  const uint32_t crc = reader.Number35();
  if (!reader.Closed()) return std::nullopt;
  return WriteBlockFields{address, length, packed, crc};
}

}  // namespace

RequestKind ClassifyHostMessage(std::span<const uint8_t> message) {
  FieldReader reader(message);
  reader.Expect(kSysExStart);
  const uint8_t manufacturer = reader.Data();
  reader.Data();  // the device number: any
  if (manufacturer == kManufacturerId) {
    reader.Data();  // the model byte: any
    const uint8_t command = reader.Data();
    return reader.Failed() ? RequestKind::kOther : MakerKind(command);
  }
  if (manufacturer != kUniversalNonRealTime) return RequestKind::kOther;
  reader.Expect(kGeneralInformation);
  const uint8_t subId = reader.Data();
  return reader.Failed() ? RequestKind::kOther : GeneralInformationKind(subId);
}

std::optional<EraseFlashRequest> ParseEraseFlash(std::span<const uint8_t> message) {
  FieldReader reader = MakerMessage(message, command::kEraseFlash);
  const EraseFlashRequest request{reader.Number35(), reader.Number35()};
  if (!reader.Closed()) return std::nullopt;
  return request;
}

std::optional<ReadFlashRequest> ParseReadFlash(std::span<const uint8_t> message) {
  FieldReader reader = MakerMessage(message, command::kReadFlash);
  reader.Expect(kReadFlashSelector);
  const ReadFlashRequest request{reader.Number35(), reader.Number35()};
  if (!reader.Closed()) return std::nullopt;
  return request;
}

std::optional<WriteBlockRequest> ParseWriteBlock(std::span<const uint8_t> message) {
  const auto fields = ReadWriteBlockFields(message);
  if (!fields) return std::nullopt;
  WriteBlockRequest request{fields->address,
                            std::vector<uint8_t>(static_cast<size_t>(fields->length)), false};
  Unpack7(request.data.data(), fields->packed.data(), static_cast<int32_t>(fields->packed.size()));
  request.crcMatches =
      Crc32Raw(request.data.data(), static_cast<uint32_t>(fields->length)) == fields->crc;
  return request;
}

std::optional<WriteBlockPlace> ParseWriteBlockPlace(std::span<const uint8_t> message) {
  const auto fields = ReadWriteBlockFields(message);
  if (!fields) return std::nullopt;
  return WriteBlockPlace{fields->address, static_cast<uint32_t>(fields->length)};
}

std::optional<uint8_t> ParseHostStatus(std::span<const uint8_t> message) {
  FieldReader reader = MakerMessage(message, command::kHostStatus);
  const uint8_t status = reader.Data();
  if (!reader.Closed()) return std::nullopt;
  return status;
}

std::optional<Identity> ParseHostIdentityReply(std::span<const uint8_t> message) {
  FieldReader reader(message);
  reader.Expect(kSysExStart);
  reader.Expect(kUniversalNonRealTime);
  reader.Data();  // the device number: any
  reader.Expect(kGeneralInformation);
  reader.Expect(kIdentityReplySubId);
  reader.Expect(kManufacturerId);
  Identity identity{};
  const std::span<const uint8_t> bytes = reader.Data(identity.size());
  reader.Data(VersionText{}.size());  // the host's own version: not read
  if (!reader.Closed()) return std::nullopt;
  std::copy(bytes.begin(), bytes.end(), identity.begin());
  return identity;
}

bool IsWellFormedBeginUpdate(std::span<const uint8_t> message) {
  return IsBareCommand(message, command::kBeginUpdate);
}

bool IsWellFormedFinishUpdate(std::span<const uint8_t> message) {
  return IsBareCommand(message, command::kFinishUpdate);
}

}  // namespace tarn
