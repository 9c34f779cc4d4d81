#include "sim/device_messages.h"

#include <array>

#include "sysex/device_messages.h"

namespace tarn::sim {
namespace {

constexpr std::array<std::string_view, kUnsolicitedCount> kUnsolicitedNames{
    "identity", "01", "04", "05", "03", "unknown", "universal", "non-sysex"};

// No part of the protocol: any channel message a device might let slip onto its port.
std::vector<uint8_t> NoteOn() {
  return {0x90, 0x3C, 0x64};
}

}  // namespace

std::vector<uint8_t> UnsolicitedMessage(Unsolicited kind, uint8_t modelByte) {
  switch (kind) {
    case Unsolicited::kIdentityRequest:
      return GeneralInformationMessage(kIdentityRequestSubId);
    case Unsolicited::kRequest01:
      return MakerCommandMessage(modelByte, device_command::kRequest01);
    case Unsolicited::kRequest04:
      return MakerCommandMessage(modelByte, device_command::kRequest04);
    case Unsolicited::kRequest05:
      return MakerCommandMessage(modelByte, device_command::kRequest05);
    case Unsolicited::kNotice03:
      return MakerCommandMessage(modelByte, device_command::kNotice);
    case Unsolicited::kUnknownCommand:
      return MakerCommandMessage(modelByte, device_command::kUnknown);
    case Unsolicited::kUnknownGeneralInformation:
      return GeneralInformationMessage(kUnknownGeneralInformationSubId);
    case Unsolicited::kNonSysEx:
      return NoteOn();
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
