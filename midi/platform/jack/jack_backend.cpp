#include "midi/platform/jack/jack_backend.h"

#include <jack/jack.h>

#include <mutex>

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
    return OpenJackInput(std::move(client), device.id, std::move(handler));
  }

  std::unique_ptr<OutputConnection> OpenOutput(const DeviceInfo& device) override {
    auto client = Client();
    if (!client || device.id.empty() || !client->IsForeignPort(device.id, JackPortIsInput)) {
      return nullptr;
    }
    return OpenJackOutput(std::move(client), device.id);
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
  std::vector<DeviceInfo> Ports(unsigned long direction) {
    auto client = Client();
    return client ? client->ForeignPorts(direction) : std::vector<DeviceInfo>();
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
};

}  // namespace

std::unique_ptr<Backend> MakeJackBackend() {
  return MakeJackBackend(kJackDefaultClientName);
}

std::unique_ptr<JackBackend> MakeJackBackend(std::string clientName) {
  return std::make_unique<JackBackendImpl>(std::move(clientName));
}

}  // namespace tarn::platform
