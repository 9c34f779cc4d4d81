// The in-process virtual device behind a backend that does not say it is in-process: to the
// updater it is a device of another process, as tarn-device-sim or a real device is.
#pragma once

#include <memory>

#include "midi/platform/backend.h"
#include "midi/platform/loopback/loopback_backend.h"

namespace tarn::test {

class OutsideBackend final : public platform::Backend {
 public:
  std::string Name() const override { return "outside"; }
  std::vector<platform::DeviceInfo> Inputs() override { return m_loopback->Inputs(); }
  std::vector<platform::DeviceInfo> Outputs() override { return m_loopback->Outputs(); }
  std::unique_ptr<platform::InputConnection> OpenInput(
      const platform::DeviceInfo& device, platform::InputBytesHandler handler) override {
    return m_loopback->OpenInput(device, std::move(handler));
  }
  std::unique_ptr<platform::OutputConnection> OpenOutput(
      const platform::DeviceInfo& device) override {
    return m_loopback->OpenOutput(device);
  }
  std::string DeviceOf(const platform::DeviceInfo& port) const override {
    return "outside:" + port.id;
  }

 private:
  std::unique_ptr<platform::Backend> m_loopback = platform::MakeLoopbackBackend();
};

}  // namespace tarn::test
