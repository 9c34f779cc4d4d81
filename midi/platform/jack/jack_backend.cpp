#include "midi/platform/jack/jack_backend.h"

#include <jack/jack.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "midi/platform/jack/jack_client.h"
#include "midi/platform/jack/jack_connections.h"

namespace tarn::platform {
namespace {

// libjack prints to stderr whenever no server answers, which is an ordinary state here; the
// backend reports every failure through its results instead.
void SilenceJack() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
  });
}

class JackBackendImpl final : public JackBackend {
 public:
  explicit JackBackendImpl(std::string clientName) : m_clientName(std::move(clientName)) {
    SilenceJack();
  }

  std::string Name() const override { return "JACK"; }

  std::vector<DeviceInfo> Inputs() override { return Ports(JackPortIsOutput); }
  std::vector<DeviceInfo> Outputs() override { return Ports(JackPortIsInput); }

  std::unique_ptr<InputConnection> OpenInput(const DeviceInfo& device,
                                             InputBytesHandler handler) override {
    auto client = Client();
    if (!client || device.id.empty() || !client->IsForeignPort(device.id, JackPortIsOutput)) {
      return nullptr;
    }
    return OpenJackInput(FreeClient(Direction::kInput), device.id, std::move(handler));
  }

  std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo& device) override {
    auto client = Client();
    if (!client || device.id.empty() || !client->IsForeignPort(device.id, JackPortIsInput)) {
      return nullptr;
    }
    return OpenJackOutput(FreeClient(Direction::kOutput), device.id);
  }

  // A port of a device is the text before the ':' of its name: its client.
  std::string DeviceOf(const DeviceInfo& port) const override {
    return port.id.substr(0, port.id.find(':'));
  }

  std::unique_ptr<InputConnection> ListenInput(InputBytesHandler handler) override {
    auto client = Client();
    return client ? OpenJackInput(std::move(client), {}, std::move(handler)) : nullptr;
  }

  std::unique_ptr<OutputConnection> ListenOutput() override {
    auto client = Client();
    return client ? OpenJackOutput(std::move(client), {}) : nullptr;
  }

  std::string ClientName() override {
    auto client = Client();
    return client ? client->Name() : std::string();
  }

 private:
  enum class Direction { kInput, kOutput };

  std::vector<DeviceInfo> Ports(unsigned long direction) {
    auto client = Client();
    if (!client) return {};
    std::vector<DeviceInfo> ports = client->ForeignPorts(direction);
    // The extra clients below are ours, not devices.
    std::lock_guard lock(m_mutex);
    std::erase_if(ports, [this](const DeviceInfo& port) {
      return std::any_of(m_extra.begin(), m_extra.end(),
                         [&port](const auto& extra) { return extra->Name() == port.name; });
    });
    return ports;
  }

  // A client holds one input and one output. Several devices open at once (every device of an
  // update of all of them) each get a client of their own, made when all are in use.
  std::shared_ptr<JackClient> FreeClient(Direction direction) {
    const auto isFree = [direction](JackClient& client) {
      const bool free = direction == Direction::kInput ? client.ClaimInput() : client.ClaimOutput();
      if (free) direction == Direction::kInput ? client.ReleaseInput() : client.ReleaseOutput();
      return free;
    };
    auto primary = Client();
    std::lock_guard lock(m_mutex);
    std::erase_if(m_extra, [](const auto& extra) { return extra->IsShutDown(); });
    if (isFree(*primary)) return primary;
    for (const auto& extra : m_extra) {
      if (isFree(*extra)) return extra;
    }
    auto extra = JackClient::Open(m_clientName);
    if (!extra) return primary;
    m_extra.push_back(extra);
    return extra;
  }

  // Connections keep the client they were opened on; a client whose server went away is
  // replaced here, so a restarted server is found by the next enumeration.
  std::shared_ptr<JackClient> Client() {
    std::lock_guard lock(m_mutex);
    if (m_client && m_client->IsShutDown()) m_client.reset();
    if (!m_client) m_client = JackClient::Open(m_clientName);
    return m_client;
  }

  const std::string m_clientName;
  std::mutex m_mutex;
  std::shared_ptr<JackClient> m_client;
  std::vector<std::shared_ptr<JackClient>> m_extra;
};

}  // namespace

std::unique_ptr<Backend> MakeJackBackend() {
  return MakeJackBackend(kJackDefaultClientName);
}

std::unique_ptr<JackBackend> MakeJackBackend(std::string clientName) {
  return std::make_unique<JackBackendImpl>(std::move(clientName));
}

}  // namespace tarn::platform
