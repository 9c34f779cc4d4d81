// A backend whose devices, input bytes and send results the test decides.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/platform/backend.h"

namespace tarn::test {

class ScriptedBackend : public platform::Backend {
 public:
  std::string Name() const override { return "scripted"; }

  std::vector<platform::DeviceInfo> Inputs() override {
    std::lock_guard lock(m_mutex);
    return inputs;
  }
  std::vector<platform::DeviceInfo> Outputs() override {
    std::lock_guard lock(m_mutex);
    return outputs;
  }

  std::unique_ptr<platform::InputConnection> OpenInput(
      const platform::DeviceInfo& device, platform::InputBytesHandler handler) override;
  std::unique_ptr<platform::OutputConnection> OpenOutput(
      const platform::DeviceInfo& device) override;

  // Bytes from the device, delivered on the calling thread as the backend's input thread.
  void Feed(const std::vector<uint8_t>& bytes);

  std::vector<std::vector<uint8_t>> Sent();
  // The thread each message was sent on, in the order of Sent.
  std::vector<std::thread::id> SendThreads();
  // Sends wait until ReleaseSends.
  void HoldSends();
  void ReleaseSends();

  void SetInputs(std::vector<platform::DeviceInfo> devices);
  void SetOutputs(std::vector<platform::DeviceInfo> devices);
  std::vector<std::string> Opened();

  std::vector<platform::DeviceInfo> inputs;
  std::vector<platform::DeviceInfo> outputs;
  bool refuseOpen = false;
  bool sendResult = true;
  bool gone = false;           // what the output connections report as Gone
  bool returnsAtOnce = false;  // for output connections opened from now on

 private:
  friend class ScriptedInput;
  friend class ScriptedOutput;
  bool Send(std::span<const uint8_t> message);

  std::mutex m_mutex;
  std::condition_variable m_released;
  platform::InputBytesHandler m_handler;
  std::vector<std::vector<uint8_t>> m_sent;
  std::vector<std::thread::id> m_sendThreads;
  std::vector<std::string> m_opened;
  bool m_hold = false;
};

}  // namespace tarn::test
