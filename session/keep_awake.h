// Keeps the machine from sleeping, and the user's session from ending, for the span of an
// update: a device whose update stops half-way is left without valid firmware.
#pragma once

#include <memory>
#include <string>

namespace tarn {

class KeepAwake {
 public:
  virtual ~KeepAwake() = default;
};

// Holds the machine awake for the update of `device` until the object goes; taken and dropped
// on the update's own thread. None where the system cannot be asked; then `problem` says why.
std::unique_ptr<KeepAwake> KeepMachineAwake(const std::string& device, std::string* problem);

// The line for the user when the machine is not kept awake.
std::string NotKeptAwakeNotice(const std::string& problem);

}  // namespace tarn
