// The --simulate device: a virtual device behind the loopback ports, and no other MIDI system.
#pragma once

#include <cstdint>
#include <string>

#include "sim/virtual_device.h"

namespace tarn::cli {

class SimulatedDevice {
 public:
  // From here on the loopback's "DAXO Tarn Series" ports are the only ports.
  explicit SimulatedDevice(uint32_t linkRate);
  ~SimulatedDevice();
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Whether the device's flash now holds the embedded image set, in one line.
  std::string FlashSummary() const;

 private:
  sim::VirtualDevice m_device;
};

}  // namespace tarn::cli
