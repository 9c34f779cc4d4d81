// The device's side of the protocol without threads or timing: what it answers to each request
// and what that does to its flash.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/flash_memory.h"
#include "sysex/device_messages.h"
#include "sysex/request_kind.h"

namespace tarn::sim {

inline constexpr uint32_t kBootVersionAddress = 0x22FFC;

struct DeviceIdentitySettings {
  Identity identity{0x6E, 0x00, 0x04, 0x00};
  VersionText version{'0', '1', '0', '0'};  // the software version in its identity reply
  // The boot area's version text at 0x22FFC when the device starts; none leaves it erased.
  std::optional<VersionText> bootVersion;
};

// How a request's handling is spoiled, for fault injection.
struct RequestFaults {
  bool corruptCrc = false;          // a read reply with a wrong checksum
  std::optional<uint32_t> shortTo;  // a read of more bytes is answered with only this many
  bool storeWrong = false;          // a block stored with one byte wrong, answered as stored
};

class DeviceCore {
 public:
  explicit DeviceCore(const DeviceIdentitySettings& settings, bool updateMode = true);

  // Carries out one request of `kind` and gives its answer; empty for what is not answered.
  std::vector<uint8_t> Handle(RequestKind kind, std::span<const uint8_t> message,
                              const RequestFaults& faults = {});

  // A DeviceStatus message from this device.
  std::vector<uint8_t> Status(uint8_t status) const;
  std::vector<uint8_t> Done() const;
  void PresetFlash(uint32_t address, std::span<const uint8_t> bytes) {
    m_flash.Preset(address, bytes);
  }

  uint8_t ModelByte() const { return m_settings.identity[0]; }
  void SetUpdateMode(bool on) { m_updateMode = on; }
  const FlashMemory& Flash() const { return m_flash; }

 private:
  uint8_t Erase(std::span<const uint8_t> message);
  uint8_t Write(std::span<const uint8_t> message, bool storeWrong);
  std::vector<uint8_t> Read(std::span<const uint8_t> message, const RequestFaults& faults);

  DeviceIdentitySettings m_settings;
  bool m_updateMode;
  FlashMemory m_flash;
};

}  // namespace tarn::sim
