// tarn-device-sim: the MIDI ports the device answers on, either its own JACK client's or one
// ALSA rawmidi device's. The rest of the program is the same for both.
#pragma once

#include <memory>
#include <string>

#include "midi/platform/backend.h"
#include "sim/device_sim_options.h"

namespace tarn::sim {

struct DeviceSimPorts {
  // Declared first, so that it outlives the connections made through it.
  std::unique_ptr<platform::Backend> backend;
  std::unique_ptr<platform::InputConnection> input;
  std::unique_ptr<platform::OutputConnection> output;
  std::string name;    // for the "ready" line
  std::string notice;  // worth a line on stderr, not a failure
  std::string error;   // set when the ports could not be opened; nothing is open then

  // Input first: once this returns, no byte arrives and no answer leaves any more.
  void Close() {
    input.reset();
    output.reset();
    backend.reset();
  }
};

// JACK, or the ALSA device of options.alsaDevice. `input` gets the raw bytes that arrive.
DeviceSimPorts OpenDeviceSimPorts(const DeviceSimOptions& options,
                                  platform::InputBytesHandler input);

}  // namespace tarn::sim
