// The command line of tarn-device-sim.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "resources/product.h"
#include "sim/virtual_device.h"

namespace tarn::sim {

inline constexpr const char* kDeviceSimClientName = kDeviceName;

inline constexpr int kMaxDeviceSimCount = 20;

struct DeviceSimOptions {
  DeviceConfig device;
  // Devices on the JACK server, named clientName, then clientName followed by " (2)", ...
  int count = 1;
  // The devices (1..count) that the identity, version and fault options apply to; empty: all.
  // The others behave as a plain device, at the same link rate and latency.
  std::vector<int> faultsOn;
  std::string clientName = kDeviceSimClientName;  // JACK mode
  // The ALSA rawmidi device ("hw:C,D,S") to answer on instead of JACK ports.
  std::optional<std::string> alsaDevice;
  bool exitAfterFinish = false;
  // The image set the flash is checked against: a folder or a Windows program; none: built in.
  std::optional<std::string> firmwarePath;
};

struct ParsedDeviceSimOptions {
  std::optional<DeviceSimOptions> options;  // none: end now with exitCode
  int exitCode = 0;
};

// The name and the configuration of device `number` (1..count).
std::string DeviceSimName(const DeviceSimOptions& options, int number);
DeviceConfig DeviceSimConfig(const DeviceSimOptions& options, int number);

// Help goes to `out`, usage errors to `err` (exit code 2).
ParsedDeviceSimOptions ParseDeviceSimOptions(int argc, const char* const* argv, std::ostream& out,
                                             std::ostream& err);

// "6E 00 04 00" or "6E000400"; nothing unless exactly four hex bytes below 0x80.
std::optional<Identity> ParseIdentity(const std::string& text);
// "hw:C,D,S", or "hw:C,D" for its subdevice 0; the result is always "hw:C,D,S", the form
// the ALSA backend names its devices by.
std::optional<std::string> ParseAlsaDeviceId(const std::string& text);
// Exactly four characters, e.g. "1.00".
std::optional<VersionText> ParseVersionText(const std::string& text);

}  // namespace tarn::sim
