#include "cli/simulated_device.h"

#include "midi/platform/loopback/loopback.h"
#include "midi/platform/platform.h"
#include "resources/product.h"
#include "sim/plan_expectations.h"

namespace tarn::cli {
namespace {

sim::DeviceConfig Config(uint32_t linkRate) {
  sim::DeviceConfig config;
  config.linkRate = linkRate;
  return config;
}

}  // namespace

SimulatedDevice::SimulatedDevice(uint32_t linkRate, const ImageSet& images)
    : m_device(Config(linkRate)), m_images(images) {
  // No MIDI system is asked at all: a simulation must not depend on one.
  platform::SetBackends({});
  platform::InstallLoopbackPeer(&m_device, kDeviceName);
}

SimulatedDevice::~SimulatedDevice() {
  platform::RemoveLoopbackPeer();
}

std::string SimulatedDevice::FlashSummary() const {
  // The simulated device starts with an erased boot area, so the update rewrites it.
  return m_device.VerifyFlash(sim::PlanExpectations(m_images, true)).summary;
}

}  // namespace tarn::cli
