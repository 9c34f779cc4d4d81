#include "sim/device_sim_ports.h"

#include <algorithm>
#include <optional>
#include <vector>

#ifdef TARN_DEVICE_SIM_ALSA
#include "midi/platform/alsa/alsa_backend.h"
#endif
#ifdef TARN_DEVICE_SIM_JACK
#include "midi/platform/jack/jack_backend.h"
#endif

namespace tarn::sim {
namespace {

DeviceSimPorts Failed(std::string error) {
  DeviceSimPorts ports;
  ports.error = std::move(error);
  return ports;
}

#ifdef TARN_DEVICE_SIM_JACK
DeviceSimPorts OpenJack(const std::string& clientName, platform::InputBytesHandler handler) {
  auto backend = platform::MakeJackBackend(clientName);
  DeviceSimPorts ports;
  ports.input = backend->ListenInput(std::move(handler));
  ports.output = backend->ListenOutput();
  ports.name = backend->ClientName();
  ports.backend = std::move(backend);
  if (!ports.input || !ports.output) {
    return Failed("no JACK server answers (start jackd, or PipeWire with pipewire-jack)");
  }
  if (ports.name != clientName) {
    ports.notice =
        "the name \"" + clientName + "\" is taken; the server named us \"" + ports.name + "\"";
  }
  return ports;
}
#endif

#ifdef TARN_DEVICE_SIM_ALSA
std::optional<platform::DeviceInfo> FindDevice(const std::vector<platform::DeviceInfo>& devices,
                                               const std::string& id) {
  const auto found = std::find_if(devices.begin(), devices.end(),
                                  [&id](const platform::DeviceInfo& d) { return d.id == id; });
  if (found == devices.end()) return std::nullopt;
  return *found;
}

std::string Ids(const std::vector<platform::DeviceInfo>& devices) {
  std::string ids;
  for (const platform::DeviceInfo& device : devices)
    ids += (ids.empty() ? "" : " ") + device.id;
  return ids.empty() ? "none" : ids;
}

DeviceSimPorts OpenAlsa(const std::string& id, platform::InputBytesHandler handler) {
  DeviceSimPorts ports;
  // A device's answers need not have left before the next request is read.
  ports.backend = platform::MakeAlsaBackend({.drainEachMessage = false});
  // A device plays both directions on one rawmidi device.
  const auto inputs = ports.backend->Inputs();
  const auto in = FindDevice(inputs, id);
  const auto out = FindDevice(ports.backend->Outputs(), id);
  if (!in || !out) {
    return Failed("no ALSA rawmidi device " + id +
                  " with input and output (inputs: " + Ids(inputs) + ")");
  }
  ports.input = ports.backend->OpenInput(*in, std::move(handler));
  if (!ports.input) return Failed("cannot open " + id + " for input (in use?)");
  ports.output = ports.backend->OpenOutput(*out);
  if (!ports.output) return Failed("cannot open " + id + " for output (in use?)");
  ports.name = id + " (" + in->name + ")";
  return ports;
}
#endif

}  // namespace

DeviceSimPorts OpenDeviceSimPorts(const DeviceSimOptions& options,
                                  platform::InputBytesHandler input) {
  if (options.alsaDevice) {
#ifdef TARN_DEVICE_SIM_ALSA
    return OpenAlsa(*options.alsaDevice, std::move(input));
#else
    return Failed("built without ALSA: --alsa is not available");
#endif
  }
#ifdef TARN_DEVICE_SIM_JACK
  return OpenJack(options.clientName, std::move(input));
#else
  return Failed("built without JACK: choose an ALSA rawmidi device with --alsa");
#endif
}

}  // namespace tarn::sim
