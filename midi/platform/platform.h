// What a program may choose about our own WinMM layer. Devices are numbered across the backends
// in order: the in-process loopback first, then these.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/platform/backend.h"

namespace tarn::platform {

// The backends built in, in numbering order: ALSA, then JACK (each only when built with it); on
// Windows, the system's own WinMM devices.
std::vector<std::unique_ptr<Backend>> DefaultBackends();

// Replaces the backends numbered after the loopback; until the first call the defaults are
// used, created at the first enumeration. Device indices refer to the new backends from now
// on; devices already open keep working on their own backend.
void SetBackends(std::vector<std::unique_ptr<Backend>> backends);

// A port as the numbering of midiIn/midiOutGetDevCaps gives it, with the device it belongs to.
struct PortIdentity {
  std::string name;        // the product name, as the platform's name field holds it
  std::string device;      // the same for an input and an output of one device, across backends
  bool inProcess = false;  // a device of this process alone (the loopback)
};

// A fresh count of the inputs (outputs), as midiIn/midiOutGetNumDevs takes: index = position.
std::vector<PortIdentity> InputPorts();
std::vector<PortIdentity> OutputPorts();
// The port with this index in the last count; none when there is no such port.
std::optional<PortIdentity> InputPort(size_t index);
std::optional<PortIdentity> OutputPort(size_t index);

// The longest midiOutLongMsg waits for a backend's Send beyond the message's wire time before it
// reports MIDIERR_NOTREADY. Default kDefaultSendTimeout (send_time.h). For tests.
void SetSendTimeout(std::chrono::milliseconds timeout);

}  // namespace tarn::platform
