#include "midi/platform/jack/jack_connections.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <thread>
#include <vector>

namespace tarn::platform {
namespace {

class JackInput final : public InputConnection {
 public:
  JackInput(std::shared_ptr<JackClient> client, InputBytesHandler handler)
      : m_client(std::move(client)), m_handler(std::move(handler)) {
    m_client->BeginInput();
    m_thread = std::thread([this] { Drain(); });
  }

  ~JackInput() override {
    if (!m_source.empty()) m_client->DisconnectInputFrom(m_source);
    m_client->EndInput();
    m_stop.store(true);
    m_client->WakeInput();
    m_thread.join();
    m_client->ReleaseInput();
  }

  bool Connect(const std::string& source) {
    if (!m_client->ConnectInputFrom(source)) return false;
    m_source = source;
    return true;
  }

 private:
  // Runs outside the realtime thread, so the handler may take locks and allocate. A source
  // that has gone is told once, with an empty span, after the bytes it sent before going.
  void Drain() {
    std::vector<uint8_t> chunk(64 << 10);
    bool goneTold = false;
    while (!m_stop.load()) {
      while (const size_t count = m_client->ReadInput(chunk)) {
        m_handler(std::span<const uint8_t>(chunk.data(), count));
      }
      if (const uint64_t lost = m_client->TakeLostInputEvents()) {
        std::fprintf(stderr, "JACK MIDI input of %s lost %" PRIu64 " events\n",
                     m_client->Name().c_str(), lost);
      }
      if (!goneTold && m_client->InputSourceGone()) {
        goneTold = true;
        m_handler({});
      }
      m_client->WaitForInput();
    }
  }

  std::shared_ptr<JackClient> m_client;
  InputBytesHandler m_handler;
  std::string m_source;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

class JackOutput final : public OutputConnection {
 public:
  explicit JackOutput(std::shared_ptr<JackClient> client) : m_client(std::move(client)) {}

  ~JackOutput() override {
    if (!m_sink.empty()) m_client->DisconnectOutputTo(m_sink);
    m_client->ReleaseOutput();
  }

  bool Connect(const std::string& sink) {
    if (!m_client->ConnectOutputTo(sink)) return false;
    m_sink = sink;
    return true;
  }

  // A device that went away takes its connection with it; sending into nothing is a failure.
  bool Send(std::span<const uint8_t> message) override {
    if (!Reachable()) return false;
    return m_client->Send(message) && Reachable();
  }

  // The server stopped, or the device's port went with its client.
  bool Gone() const override { return m_client->IsShutDown() || !Reachable(); }

 private:
  bool Reachable() const {
    return m_sink.empty() || (!m_client->OutputSinkGone() && m_client->OutputConnectedTo(m_sink));
  }

  std::shared_ptr<JackClient> m_client;
  std::string m_sink;
};

}  // namespace

std::unique_ptr<InputConnection> OpenJackInput(std::shared_ptr<JackClient> client,
                                               const std::string& source,
                                               InputBytesHandler handler) {
  if (!handler || !client->ClaimInput()) return nullptr;
  auto input = std::make_unique<JackInput>(std::move(client), std::move(handler));
  if (!source.empty() && !input->Connect(source)) return nullptr;
  return input;
}

std::unique_ptr<OutputConnection> OpenJackOutput(std::shared_ptr<JackClient> client,
                                                 const std::string& sink) {
  if (!client->ClaimOutput()) return nullptr;
  auto output = std::make_unique<JackOutput>(std::move(client));
  if (!sink.empty() && !output->Connect(sink)) return nullptr;
  return output;
}

}  // namespace tarn::platform
