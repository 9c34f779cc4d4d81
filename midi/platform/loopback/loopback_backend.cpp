#include "midi/platform/loopback/loopback_backend.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "midi/platform/loopback/loopback.h"

namespace tarn::platform {

namespace {

constexpr char kLoopbackId[] = "loopback";

// The one installed peer and the input connections its messages go to. Two locks: a peer
// that answers from inside Receive reaches Deliver while Send still holds the peer lock.
class LoopbackHub {
 public:
  static LoopbackHub& Instance() {
    static LoopbackHub hub;
    return hub;
  }

  void Install(LoopbackPeer* peer, std::string name) {
    std::lock_guard lock(m_peerMutex);
    if (m_peer) m_peer->SetOutput({});
    m_peer = peer;
    m_name = std::move(name);
    if (m_peer) m_peer->SetOutput([this](std::span<const uint8_t> message) { Deliver(message); });
  }

  bool Present() {
    std::lock_guard lock(m_peerMutex);
    return m_peer != nullptr;
  }

  // The name of the installed peer's device; none while no peer is installed.
  std::optional<std::string> DeviceName() {
    std::lock_guard lock(m_peerMutex);
    if (!m_peer) return std::nullopt;
    return m_name;
  }

  bool Send(std::span<const uint8_t> message) {
    std::lock_guard lock(m_peerMutex);
    if (!m_peer) return false;
    m_peer->Receive(message);
    return true;
  }

  uint64_t AddInput(InputBytesHandler handler) {
    std::lock_guard lock(m_inputMutex);
    m_inputs.emplace(++m_lastInput, std::move(handler));
    return m_lastInput;
  }

  // Waits for a delivery in progress, so that the handler is never called afterwards.
  void RemoveInput(uint64_t id) {
    std::lock_guard lock(m_inputMutex);
    m_inputs.erase(id);
  }

 private:
  void Deliver(std::span<const uint8_t> message) {
    std::lock_guard lock(m_inputMutex);
    for (auto& [id, handler] : m_inputs)
      handler(message);
  }

  std::mutex m_peerMutex;
  LoopbackPeer* m_peer = nullptr;
  std::string m_name;
  std::mutex m_inputMutex;
  std::map<uint64_t, InputBytesHandler> m_inputs;
  uint64_t m_lastInput = 0;
};

class LoopbackInput : public InputConnection {
 public:
  explicit LoopbackInput(InputBytesHandler handler)
      : m_id(LoopbackHub::Instance().AddInput(std::move(handler))) {}
  ~LoopbackInput() override { LoopbackHub::Instance().RemoveInput(m_id); }

 private:
  uint64_t m_id;
};

class LoopbackOutput : public OutputConnection {
 public:
  bool Send(std::span<const uint8_t> message) override {
    return LoopbackHub::Instance().Send(message);
  }
  bool Gone() const override { return !LoopbackHub::Instance().Present(); }
  // The peer models its link itself and takes every message at once.
  bool ReturnsAtOnce() const override { return true; }
};

class LoopbackBackend : public Backend {
 public:
  std::string Name() const override { return "loopback"; }
  bool InProcess() const override { return true; }

  std::vector<DeviceInfo> Inputs() override { return Devices(); }
  std::vector<DeviceInfo> Outputs() override { return Devices(); }

  std::unique_ptr<InputConnection> OpenInput(const DeviceInfo& device,
                                             InputBytesHandler handler) override {
    if (device.id != kLoopbackId || !LoopbackHub::Instance().Present()) return nullptr;
    return std::make_unique<LoopbackInput>(std::move(handler));
  }

  std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo& device) override {
    if (device.id != kLoopbackId || !LoopbackHub::Instance().Present()) return nullptr;
    return std::make_unique<LoopbackOutput>();
  }

 private:
  static std::vector<DeviceInfo> Devices() {
    const auto name = LoopbackHub::Instance().DeviceName();
    if (!name) return {};
    return {{*name, kLoopbackId}};
  }
};

}  // namespace

std::unique_ptr<Backend> MakeLoopbackBackend() {
  return std::make_unique<LoopbackBackend>();
}

void InstallLoopbackPeer(LoopbackPeer* peer, std::string name) {
  LoopbackHub::Instance().Install(peer, std::move(name));
}

void RemoveLoopbackPeer() {
  LoopbackHub::Instance().Install(nullptr, {});
}

}  // namespace tarn::platform
