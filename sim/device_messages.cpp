#include "sim/device_messages.h"

#include "sysex/codec.h"

namespace tarn::sim {
namespace {

constexpr std::array<std::string_view, kUnsolicitedCount> kUnsolicitedNames{
    "identity", "01", "04", "05", "03", "unknown", "universal", "non-sysex"};

std::vector<uint8_t> MakerMessage(uint8_t modelByte, uint8_t command) {
  return {kSysExStart, kManufacturerId, 0x00, modelByte, command, kSysExEnd};
}

std::vector<uint8_t> GeneralInformation(uint8_t subId) {
  return {kSysExStart, kUniversalNonRealTime, 0x00, kGeneralInformation, subId, kSysExEnd};
}

}  // namespace

std::vector<uint8_t> DeviceStatusMessage(uint8_t modelByte, uint8_t status) {
  return {kSysExStart, kManufacturerId, 0x00, modelByte, command::kDeviceStatus, status, kSysExEnd};
}

std::vector<uint8_t> DeviceIdentityReply(const Identity& identity, const VersionText& version) {
  std::vector<uint8_t> message{kSysExStart,         kUniversalNonRealTime, 0x00,
                               kGeneralInformation, kIdentityReplySubId,   kManufacturerId};
  message.insert(message.end(), identity.begin(), identity.end());
  message.insert(message.end(), version.begin(), version.end());
  message.push_back(kSysExEnd);
  return message;
}

std::vector<uint8_t> ReadFlashReplyMessage(uint8_t modelByte, std::span<const uint8_t> data,
                                           bool corruptCrc) {
  constexpr size_t kHeader = 11;
  constexpr size_t kCrcLength = 5;
  const auto count = static_cast<int32_t>(data.size());
  const auto packed = static_cast<size_t>(PackedLength(count));
  std::vector<uint8_t> message(kHeader + packed + kCrcLength + 1);
  const uint8_t head[kHeader] = {kSysExStart,
                                 kManufacturerId,
                                 0x00,
                                 modelByte,
                                 command::kReadFlashReply,
                                 kReadFlashDataMarker,
                                 kReadFlashSelector,
                                 0x00,
                                 0x00,
                                 static_cast<uint8_t>(count & 0x7F),
                                 static_cast<uint8_t>((count >> 7) & 0x7F)};
  std::copy(std::begin(head), std::end(head), message.begin());
  Pack7(message.data() + kHeader, data.data(), count);
  uint32_t crc = Crc32Raw(data.data(), static_cast<uint32_t>(count));
  if (corruptCrc) crc ^= 0x1u;
  Encode35(crc, message.data() + kHeader + packed);
  message.back() = kSysExEnd;
  return message;
}

std::vector<uint8_t> UnsolicitedMessage(Unsolicited kind, uint8_t modelByte) {
  switch (kind) {
    case Unsolicited::kIdentityRequest:
      return GeneralInformation(kIdentityRequestSubId);
    case Unsolicited::kRequest01:
      return MakerMessage(modelByte, 0x01);
    case Unsolicited::kRequest04:
      return MakerMessage(modelByte, 0x04);
    case Unsolicited::kRequest05:
      return MakerMessage(modelByte, 0x05);
    case Unsolicited::kNotice03:
      return MakerMessage(modelByte, command::kDeviceNotice);
    case Unsolicited::kUnknownCommand:
      return MakerMessage(modelByte, 0x06);
    case Unsolicited::kUnknownGeneralInformation:
      return GeneralInformation(0x03);
    case Unsolicited::kNonSysEx:
      return {0x90, 0x3C, 0x64};
  }
  return {};
}

std::string_view UnsolicitedName(Unsolicited kind) {
  return kUnsolicitedNames[static_cast<size_t>(kind)];
}

std::optional<Unsolicited> UnsolicitedFromName(std::string_view name) {
  for (size_t i = 0; i < kUnsolicitedNames.size(); ++i) {
    if (kUnsolicitedNames[i] == name) return static_cast<Unsolicited>(i);
  }
  return std::nullopt;
}

}  // namespace tarn::sim
