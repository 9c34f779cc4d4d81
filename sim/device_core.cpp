#include "sim/device_core.h"

#include <algorithm>

#include "sysex/device_status.h"
#include "sysex/host_requests.h"

namespace tarn::sim {
namespace {

constexpr uint8_t kStoredWrongBits = 0x5A;

}  // namespace

DeviceCore::DeviceCore(const DeviceIdentitySettings& settings, bool updateMode)
    : m_settings(settings), m_updateMode(updateMode) {
  if (settings.bootVersion) m_flash.Preset(kBootVersionAddress, *settings.bootVersion);
}

std::vector<uint8_t> DeviceCore::Status(uint8_t status) const {
  return DeviceStatusMessage(ModelByte(), status);
}

std::vector<uint8_t> DeviceCore::Done() const {
  return DeviceDoneMessage(ModelByte());
}

std::vector<uint8_t> DeviceCore::Handle(RequestKind kind, std::span<const uint8_t> message,
                                        const RequestFaults& faults) {
  if (kind == RequestKind::kIdentityRequest) {
    return DeviceIdentityReplyMessage(m_settings.identity, m_settings.version);
  }
  if (!IsAnswered(kind)) return {};
  if (kind == RequestKind::kUnknownCommand) return Status(device_status::kUnknownCommand);
  if (!m_updateMode) return Status(device_status::kNotInUpdateMode);
  switch (kind) {
    case RequestKind::kEraseFlash:
      return Status(Erase(message));
    case RequestKind::kWriteBlock:
      return Status(Write(message, faults.storeWrong));
    case RequestKind::kReadFlash:
      return Read(message, faults);
    case RequestKind::kBeginUpdate:
      return Status(IsWellFormedBeginUpdate(message) ? device_status::kOk
                                                     : device_status::kMalformed);
    default:
      return Status(IsWellFormedFinishUpdate(message) ? device_status::kOk
                                                      : device_status::kMalformed);
  }
}

uint8_t DeviceCore::Erase(std::span<const uint8_t> message) {
  const auto erase = ParseEraseFlash(message);
  if (!erase) return device_status::kMalformed;
  return m_flash.Erase(erase->address, erase->count);
}

uint8_t DeviceCore::Write(std::span<const uint8_t> message, bool storeWrong) {
  const auto write = ParseWriteBlock(message);
  if (!write) return device_status::kMalformed;
  if (!write->crcMatches) return device_status::kCrcMismatch;
  if (!storeWrong || write->data.empty()) return m_flash.Program(write->address, write->data);
  // What a weak cell or a glitch on the bus leaves: one byte off, the rest as sent.
  std::vector<uint8_t> stored(write->data.begin(), write->data.end());
  stored[stored.size() / 2] ^= kStoredWrongBits;
  m_flash.Program(write->address, stored);
  return device_status::kOk;
}

std::vector<uint8_t> DeviceCore::Read(std::span<const uint8_t> message,
                                      const RequestFaults& faults) {
  const auto read = ParseReadFlash(message);
  if (!read) return Status(device_status::kMalformed);
  if (read->count == 0 || read->count > static_cast<uint32_t>(kMaxLen2) ||
      !m_flash.Contains(read->address, read->count)) {
    return Status(device_status::kOutOfRange);
  }
  const uint32_t sent = faults.shortTo ? std::min(read->count, *faults.shortTo) : read->count;
  return ReadFlashReplyMessage(
      ModelByte(), m_flash.View(read->address, sent),
      faults.corruptCrc ? ReplyChecksum::kSpoiled : ReplyChecksum::kIntact);
}

}  // namespace tarn::sim
