#include "sysex/device_messages.h"

#include "sysex/codec.h"
#include "sysex/field_writer.h"

namespace tarn {
namespace {

// What the device puts where the host puts the number of the device it addresses.
constexpr uint8_t kDeviceNumber = 0x00;
// Between the selector and the length of a ReadFlashReply; the host does not read them.
constexpr uint8_t kReplyReserved = 0x00;

constexpr size_t kBareLength = 6;  // F0, four bytes, F7
constexpr size_t kStatusLength = 7;
constexpr size_t kReplyOverhead = 17;  // all of a ReadFlashReply but its packed data

FieldWriter MakerStart(size_t length, uint8_t modelByte, uint8_t command) {
  FieldWriter writer(length);
  writer.Data(kManufacturerId).Data(kDeviceNumber).Data(modelByte).Data(command);
  return writer;
}

FieldWriter GeneralInformationStart(size_t length, uint8_t subId) {
  FieldWriter writer(length);
  writer.Data(kUniversalNonRealTime).Data(kDeviceNumber).Data(kGeneralInformation).Data(subId);
  return writer;
}

}  // namespace

std::vector<uint8_t> DeviceStatusMessage(uint8_t modelByte, uint8_t status) {
  return MakerStart(kStatusLength, modelByte, command::kDeviceStatus).Data(status).Close();
}

std::vector<uint8_t> DeviceDoneMessage(uint8_t modelByte) {
  return MakerCommandMessage(modelByte, command::kDeviceDone);
}

void CutMessage(std::vector<uint8_t>& message, size_t keep) {
  if (message.size() <= keep + 1) return;
  message.resize(keep);
  message.push_back(kSysExEnd);
}

std::vector<uint8_t> DeviceIdentityReplyMessage(const Identity& identity,
                                                const VersionText& version) {
  return GeneralInformationStart(kIdentityReplyLength, kIdentityReplySubId)
      .Data(kManufacturerId)
      .Data(identity)
      .Data(version)
      .Close();
}

std::vector<uint8_t> ReadFlashReplyMessage(uint8_t modelByte, std::span<const uint8_t> data,
                                           ReplyChecksum checksum) {
  if (data.size() > static_cast<size_t>(kMaxLen2)) return {};
  const auto length = static_cast<int32_t>(data.size());
  uint32_t crc = Crc32Raw(data.data(), static_cast<uint32_t>(length));
  if (checksum == ReplyChecksum::kSpoiled) crc ^= 0x1u;
  return MakerStart(kReplyOverhead + static_cast<size_t>(PackedLength(length)), modelByte,
                    command::kReadFlashReply)
      .Data(kReadFlashDataMarker)
      .Data(kReadFlashSelector)
      .Data(kReplyReserved)
      .Data(kReplyReserved)
      .Length14(length)
      .Packed(data)
      .Number35(crc)
      .Close();
}

std::vector<uint8_t> MakerCommandMessage(uint8_t modelByte, uint8_t command) {
  return MakerStart(kBareLength, modelByte, command).Close();
}

std::vector<uint8_t> GeneralInformationMessage(uint8_t subId) {
  return GeneralInformationStart(kBareLength, subId).Close();
}

std::optional<ReadFlashReplyData> UnpackReadFlashReply(std::span<const uint8_t> message) {
  const std::optional<ReadFlashPayload> payload = LocateReadFlashPayload(message);
  if (!payload) return std::nullopt;
  ReadFlashReplyData reply{std::vector<uint8_t>(static_cast<size_t>(payload->rawLength)), false};
  Unpack7(reply.data.data(), payload->packed.data(), static_cast<int32_t>(payload->packed.size()));
  reply.crcMatches =
      Crc32Raw(reply.data.data(), static_cast<uint32_t>(reply.data.size())) == payload->expectedCrc;
  return reply;
}

}  // namespace tarn
