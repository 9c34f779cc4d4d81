// What one MIDI system (ALSA rawmidi, JACK, the in-process loopback) offers to the WinMM-shaped
// layer above it: named input and output devices, raw input bytes, and whole-message output.
// SysEx assembly, input buffers and device numbering across backends live above this line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarn::platform {

// Receives input bytes as they arrive, in order, on a thread of the backend. The bytes are a
// MIDI byte stream (a SysEx message may come in several pieces, or several in one piece). An
// empty span says the device has gone (unplugged, its server stopped): nothing more comes.
using InputBytesHandler = std::function<void(std::span<const uint8_t> bytes)>;

// An open input device. Destroying it stops delivery: once the destructor has returned, the
// handler is never called again.
class InputConnection {
 public:
  virtual ~InputConnection() = default;
};

// An open output device.
class OutputConnection {
 public:
  virtual ~OutputConnection() = default;
  // Sends one complete message and returns once its last byte has gone to the driver. False
  // when it could not be sent whole (too large for the backend, device gone, time-out): a
  // message is never sent in part without saying so.
  virtual bool Send(std::span<const uint8_t> message) = 0;
  // True once the device has gone for good (unplugged, its server stopped): no later send can
  // succeed. A send that failed while this is false may succeed again (a full or stalled link).
  virtual bool Gone() const { return false; }
  // True when Send only hands the message over and returns at once, whatever the link does:
  // it may then run on the sender's own thread.
  virtual bool ReturnsAtOnce() const { return false; }
};

struct DeviceInfo {
  std::string name;  // the product name shown to the user
  std::string id;    // stable within the backend (e.g. "hw:1,0,0", a JACK port name)
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string Name() const = 0;
  // Fresh enumerations; an unavailable system answers with empty lists at once.
  virtual std::vector<DeviceInfo> Inputs() = 0;
  virtual std::vector<DeviceInfo> Outputs() = 0;
  // nullptr when the device cannot be opened.
  virtual std::unique_ptr<InputConnection> OpenInput(const DeviceInfo& device,
                                                     InputBytesHandler handler) = 0;
  virtual std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo& device) = 0;
  // Which device a port belongs to: an input and an output of one device give the same answer.
  virtual std::string DeviceOf(const DeviceInfo& port) const { return port.id; }
  // Whether its devices live in this process alone, out of reach of any other process.
  virtual bool InProcess() const { return false; }
};

}  // namespace tarn::platform
