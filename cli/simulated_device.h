// The --simulate device: a virtual device behind the loopback ports, and no other MIDI system.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/image_set.h"
#include "sim/virtual_device.h"

namespace tarn::cli {

class SimulatedDevice {
 public:
  // From here on the loopback's "DAXO Tarn Series" ports are the only ports.
  // Its flash is checked against `images`, which outlives it.
  SimulatedDevice(uint32_t linkRate, const ImageSet& images);
  ~SimulatedDevice();
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Whether the device's flash now holds the image set, in one line.
  std::string FlashSummary() const;

 private:
  sim::VirtualDevice m_device;
  const ImageSet& m_images;
};

}  // namespace tarn::cli
