#include "midi/platform/windows/system_backend.h"

#include "midi/platform/windows/ansi_names.h"

#include <charconv>
#include <cstring>
#include <string>

namespace tarn::platform {

namespace {

template <typename Caps>
std::vector<DeviceInfo> List(UINT count, MMRESULT (*describe)(UINT_PTR, Caps*, UINT)) {
  std::vector<DeviceInfo> devices;
  for (UINT index = 0; index < count; ++index) {
    Caps caps{};
    // A device that went away since the count is not offered.
    if (describe(index, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
    const std::string_view name(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    devices.push_back({CodePageToUtf8(CP_ACP, name), std::to_string(index)});
  }
  return devices;
}

class SystemBackend : public Backend {
 public:
  std::string Name() const override { return "winmm"; }

  std::vector<DeviceInfo> Inputs() override {
    return List<MIDIINCAPSA>(::midiInGetNumDevs(), &::midiInGetDevCapsA);
  }
  std::vector<DeviceInfo> Outputs() override {
    return List<MIDIOUTCAPSA>(::midiOutGetNumDevs(), &::midiOutGetDevCapsA);
  }

  std::unique_ptr<InputConnection> OpenInput(const DeviceInfo&, InputBytesHandler) override {
    return nullptr;
  }
  std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo&) override { return nullptr; }
  // WinMM numbers inputs and outputs apart and tells nothing else: the name is all there is.
  std::string DeviceOf(const DeviceInfo& port) const override { return port.name; }
};

}  // namespace

std::unique_ptr<Backend> MakeSystemBackend() {
  return std::make_unique<SystemBackend>();
}

bool IsSystemBackend(const Backend& backend) {
  return dynamic_cast<const SystemBackend*>(&backend) != nullptr;
}

std::optional<UINT> SystemDeviceIndex(const RegisteredDevice& device) {
  if (!device.backend || !IsSystemBackend(*device.backend)) return std::nullopt;
  const std::string& id = device.info.id;
  UINT index = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), index);
  if (error != std::errc{} || end != id.data() + id.size()) return std::nullopt;
  return index;
}

}  // namespace tarn::platform
