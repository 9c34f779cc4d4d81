#include "tests/midi/scripted_backend.h"

namespace tarn::test {

class ScriptedInput : public platform::InputConnection {
 public:
  explicit ScriptedInput(ScriptedBackend& backend) : m_backend(backend) {}
  ~ScriptedInput() override {
    std::lock_guard lock(m_backend.m_mutex);
    m_backend.m_handler = nullptr;
  }

 private:
  ScriptedBackend& m_backend;
};

class ScriptedOutput : public platform::OutputConnection {
 public:
  ScriptedOutput(ScriptedBackend& backend, bool returnsAtOnce)
      : m_backend(backend), m_returnsAtOnce(returnsAtOnce) {}
  bool Send(std::span<const uint8_t> message) override { return m_backend.Send(message); }
  bool Gone() const override {
    std::lock_guard lock(m_backend.m_mutex);
    return m_backend.gone;
  }
  bool ReturnsAtOnce() const override { return m_returnsAtOnce; }

 private:
  ScriptedBackend& m_backend;
  bool m_returnsAtOnce;
};

std::unique_ptr<platform::InputConnection> ScriptedBackend::OpenInput(
    const platform::DeviceInfo& device, platform::InputBytesHandler handler) {
  std::lock_guard lock(m_mutex);
  m_opened.push_back(device.id);
  if (refuseOpen) return nullptr;
  m_handler = std::move(handler);
  return std::make_unique<ScriptedInput>(*this);
}

std::unique_ptr<platform::OutputConnection> ScriptedBackend::OpenOutput(
    const platform::DeviceInfo& device) {
  std::lock_guard lock(m_mutex);
  m_opened.push_back(device.id);
  if (refuseOpen) return nullptr;
  return std::make_unique<ScriptedOutput>(*this, returnsAtOnce);
}

void ScriptedBackend::Feed(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(m_mutex);
  if (m_handler) m_handler(bytes);
}

std::vector<std::vector<uint8_t>> ScriptedBackend::Sent() {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

std::vector<std::thread::id> ScriptedBackend::SendThreads() {
  std::lock_guard lock(m_mutex);
  return m_sendThreads;
}

void ScriptedBackend::HoldSends() {
  std::lock_guard lock(m_mutex);
  m_hold = true;
}

void ScriptedBackend::ReleaseSends() {
  std::lock_guard lock(m_mutex);
  m_hold = false;
  m_released.notify_all();
}

void ScriptedBackend::SetInputs(std::vector<platform::DeviceInfo> devices) {
  std::lock_guard lock(m_mutex);
  inputs = std::move(devices);
}

void ScriptedBackend::SetOutputs(std::vector<platform::DeviceInfo> devices) {
  std::lock_guard lock(m_mutex);
  outputs = std::move(devices);
}

std::vector<std::string> ScriptedBackend::Opened() {
  std::lock_guard lock(m_mutex);
  return m_opened;
}

bool ScriptedBackend::Send(std::span<const uint8_t> message) {
  std::unique_lock lock(m_mutex);
  m_released.wait(lock, [&] { return !m_hold; });
  m_sent.emplace_back(message.begin(), message.end());
  m_sendThreads.push_back(std::this_thread::get_id());
  return sendResult;
}

}  // namespace tarn::test
