#include "sim/device_core.h"

#include "sim/device_status.h"
#include "sysex/codec.h"

namespace tarn::sim {
namespace {

constexpr size_t kEraseLength = 16;
constexpr size_t kReadLength = 17;
constexpr size_t kWriteOverhead = 18;  // everything but the packed data
constexpr size_t kWriteDataPosition = 12;

uint32_t Number35(std::span<const uint8_t> message, size_t position) {
  return Decode35(message.data() + position);
}

}  // namespace

DeviceCore::DeviceCore(const DeviceIdentitySettings& settings, bool updateMode)
    : m_settings(settings), m_updateMode(updateMode) {
  if (settings.bootVersion) m_flash.Preset(kBootVersionAddress, *settings.bootVersion);
}

std::vector<uint8_t> DeviceCore::Status(uint8_t status) const {
  return DeviceStatusMessage(ModelByte(), status);
}

std::vector<uint8_t> DeviceCore::Handle(RequestKind kind, std::span<const uint8_t> message,
                                        bool corruptCrc) {
  if (kind == RequestKind::kIdentityRequest) {
    return DeviceIdentityReply(m_settings.identity, m_settings.version);
  }
  if (!IsAnswered(kind)) return {};
  if (kind == RequestKind::kUnknownCommand) return Status(status::kUnknownCommand);
  if (!m_updateMode) return Status(status::kNotInUpdateMode);
  switch (kind) {
    case RequestKind::kEraseFlash:
      return Status(Erase(message));
    case RequestKind::kWriteBlock:
      return Status(Write(message));
    case RequestKind::kReadFlash:
      return Read(message, corruptCrc);
    default:  // begin and finish
      return Status(message.back() == kSysExEnd ? status::kOk : status::kMalformed);
  }
}

uint8_t DeviceCore::Erase(std::span<const uint8_t> message) {
  if (message.size() != kEraseLength) return status::kMalformed;
  return m_flash.Erase(Number35(message, 5), Number35(message, 10));
}

uint8_t DeviceCore::Write(std::span<const uint8_t> message) {
  if (message.size() < kWriteOverhead) return status::kMalformed;
  const int32_t count = message[10] | (message[11] << 7);
  const auto packed = static_cast<size_t>(PackedLength(count));
  if (message.size() != kWriteOverhead + packed) return status::kMalformed;
  std::vector<uint8_t> data(static_cast<size_t>(count));
  Unpack7(data.data(), message.data() + kWriteDataPosition, static_cast<int32_t>(packed));
  if (Crc32Raw(data.data(), static_cast<uint32_t>(count)) !=
      Number35(message, kWriteDataPosition + packed)) {
    return status::kCrcMismatch;
  }
  return m_flash.Program(Number35(message, 5), data);
}

std::vector<uint8_t> DeviceCore::Read(std::span<const uint8_t> message, bool corruptCrc) {
  if (message.size() != kReadLength || message[5] != kReadFlashSelector) {
    return Status(status::kMalformed);
  }
  const uint32_t address = Number35(message, 6);
  const uint32_t count = Number35(message, 11);
  if (count == 0 || count > static_cast<uint32_t>(kMaxLen2) || !m_flash.Contains(address, count)) {
    return Status(status::kOutOfRange);
  }
  return ReadFlashReplyMessage(ModelByte(), m_flash.View(address, count), corruptCrc);
}

}  // namespace tarn::sim
