#include "midi/platform/jack/jack_client.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>

namespace tarn::platform {
namespace {

// Room for well over a second of input at the rate a dummy server with 64-frame periods
// delivers, so a drain thread held up briefly loses nothing.
constexpr size_t kInputQueueBytes = 1 << 20;
constexpr size_t kOutputQueueBytes = 256 << 10;
// A send fails when no queued chunk has gone out for this long.
constexpr auto kStallTimeout = std::chrono::seconds(2);
constexpr auto kCycleTimeout = std::chrono::milliseconds(500);
constexpr auto kConnectTimeout = std::chrono::seconds(2);

// On the monotonic clock: a wall clock set back mid-update must not stretch a short wait.
void TimedWait(sem_t* semaphore, std::chrono::milliseconds timeout) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  const auto nanos = deadline.tv_nsec + std::chrono::nanoseconds(timeout).count();
  deadline.tv_sec += nanos / 1'000'000'000;
  deadline.tv_nsec = nanos % 1'000'000'000;
  while (sem_clockwait(semaphore, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR) {
  }
}

// Every client of this process. libjack (jack2 1.9.21) crashes closing a client whose server
// went away once another client has been opened, or tried to, since; so such clients are
// closed before every open. Never destroyed: a client owned by another static (the device
// registry) is closed at exit after this file's statics would have gone.
std::mutex& RegistryMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::vector<JackClient*>& Registry() {
  static auto* clients = new std::vector<JackClient*>;
  return *clients;
}

template <typename T>
std::span<uint8_t> BytesOf(T& value) {
  return {reinterpret_cast<uint8_t*>(&value), sizeof value};
}

}  // namespace

JackClient::JackClient() : m_input(kInputQueueBytes), m_output(kOutputQueueBytes) {
  sem_init(&m_inputReady, 0, 0);
  sem_init(&m_outputProgress, 0, 0);
}

JackClient::~JackClient() {
  {
    std::lock_guard lock(RegistryMutex());
    std::erase(Registry(), this);
  }
  // Closing deactivates the client first, so no callback runs once it has returned.
  std::lock_guard lock(m_handleMutex);
  if (m_client) jack_client_close(m_client);
  sem_destroy(&m_inputReady);
  sem_destroy(&m_outputProgress);
}

std::shared_ptr<JackClient> JackClient::Open(const std::string& name) {
  std::shared_ptr<JackClient> self(new JackClient());
  if (!self->m_input.Valid() || !self->m_output.Valid()) return nullptr;
  std::lock_guard registryLock(RegistryMutex());
  for (JackClient* client : Registry())
    client->CloseIfShutDown();
  std::lock_guard lock(self->m_handleMutex);
  jack_status_t status{};
  self->m_client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!self->m_client) return nullptr;
  self->m_name = jack_get_client_name(self->m_client);
  self->m_inPort = jack_port_register(self->m_client, kJackInputPortName, JACK_DEFAULT_MIDI_TYPE,
                                      JackPortIsInput, 0);
  self->m_outPort = jack_port_register(self->m_client, kJackOutputPortName, JACK_DEFAULT_MIDI_TYPE,
                                       JackPortIsOutput, 0);
  if (!self->m_inPort || !self->m_outPort) return nullptr;
  self->m_inPortName = jack_port_name(self->m_inPort);
  self->m_outPortName = jack_port_name(self->m_outPort);
  jack_on_shutdown(self->m_client, &JackClient::OnShutdown, self.get());
  if (jack_set_port_connect_callback(self->m_client, &JackClient::OnConnectionChange, self.get()) !=
          0 ||
      jack_set_process_callback(self->m_client, &JackClient::OnProcess, self.get()) != 0 ||
      jack_activate(self->m_client) != 0) {
    return nullptr;
  }
  Registry().push_back(self.get());
  return self;
}

void JackClient::CloseIfShutDown() {
  std::lock_guard lock(m_handleMutex);
  if (!m_client || !IsShutDown()) return;
  jack_client_close(m_client);
  m_client = nullptr;
}

std::vector<DeviceInfo> JackClient::ForeignPorts(unsigned long direction) {
  std::lock_guard lock(m_handleMutex);
  std::vector<DeviceInfo> devices;
  if (!m_client || IsShutDown()) return devices;
  const char** names = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, direction);
  if (!names) return devices;
  for (const char** name = names; *name; ++name) {
    if (!IsForeignPortLocked(*name, direction)) continue;
    const std::string id = *name;
    devices.push_back({id.substr(0, id.find(':')), id});
  }
  jack_free(names);
  return devices;
}

bool JackClient::IsForeignPort(const std::string& id, unsigned long direction) {
  std::lock_guard lock(m_handleMutex);
  return IsForeignPortLocked(id, direction);
}

bool JackClient::IsForeignPortLocked(const std::string& id, unsigned long direction) {
  if (!m_client || IsShutDown()) return false;
  jack_port_t* port = jack_port_by_name(m_client, id.c_str());
  return port && !jack_port_is_mine(m_client, port) && (jack_port_flags(port) & direction) &&
         std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) == 0;
}

bool JackClient::ConnectInputFrom(const std::string& source) {
  return Connect(m_inputLink, m_inPort, source, m_inPortName, source);
}

void JackClient::DisconnectInputFrom(const std::string& source) {
  Disconnect(m_inputLink, source, m_inPortName);
}

bool JackClient::ConnectOutputTo(const std::string& sink) {
  return Connect(m_outputLink, m_outPort, m_outPortName, sink, sink);
}

void JackClient::DisconnectOutputTo(const std::string& sink) {
  Disconnect(m_outputLink, m_outPortName, sink);
}

bool JackClient::Connect(Link& link, jack_port_t* ours, const std::string& source,
                         const std::string& destination, const std::string& other) {
  std::lock_guard lock(m_handleMutex);
  if (!m_client || IsShutDown()) return false;
  Forget(link);
  jack_port_disconnect(m_client, ours);
  link.other.store(jack_port_by_name(m_client, other.c_str()));
  const int result = jack_connect(m_client, source.c_str(), destination.c_str());
  if ((result == 0 || result == EEXIST) && WaitUntilConnected(ours, other)) return true;
  Forget(link);
  return false;
}

// A connection whose far port has gone needs no undoing, and asking the server to would wait
// for it while it is still clearing the gone client away (seconds, with --sync).
void JackClient::Disconnect(Link& link, const std::string& source, const std::string& destination) {
  std::lock_guard lock(m_handleMutex);
  const bool lost = link.lost.load();
  Forget(link);
  if (m_client && !IsShutDown() && !lost) {
    jack_disconnect(m_client, source.c_str(), destination.c_str());
  }
}

bool JackClient::OutputConnectedTo(const std::string& sink) const {
  std::lock_guard lock(m_handleMutex);
  return m_client && !IsShutDown() && jack_port_connected_to(m_outPort, sink.c_str());
}

void JackClient::Forget(Link& link) {
  link.other.store(nullptr);
  link.told.store(false);
  link.lost.store(false);
}

bool JackClient::Hear(Link& link, jack_port_t* ours, jack_port_t* first, jack_port_t* second,
                      bool connected) {
  jack_port_t* other = link.other.load();
  if (!other || !((first == other && second == ours) || (first == ours && second == other))) {
    return false;
  }
  if (connected) {
    link.told.store(true);
    return false;
  }
  if (!link.told.load()) return false;
  link.lost.store(true);
  return true;
}

bool JackClient::WaitUntilConnected(jack_port_t* port, const std::string& other) {
  // The server applies a new connection at the start of a cycle; bytes written before that
  // would go nowhere.
  const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
  while (!jack_port_connected_to(port, other.c_str())) {
    if (IsShutDown() || std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void JackClient::BeginInput() {
  m_input.Clear();
  m_lostInputEvents.store(0);
  m_inputOpen.store(true, std::memory_order_release);
}

void JackClient::EndInput() {
  m_inputOpen.store(false, std::memory_order_release);
  WaitForCycle();
}

void JackClient::WaitForInput() {
  while (sem_wait(&m_inputReady) != 0 && errno == EINTR) {
  }
}

void JackClient::WaitForCycle() {
  // A cycle that saw the input open before End may still be writing; the next count ends it.
  const uint64_t start = m_cycles.load(std::memory_order_acquire);
  const auto deadline = std::chrono::steady_clock::now() + kCycleTimeout;
  while (!IsShutDown() && m_cycles.load(std::memory_order_acquire) == start &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool JackClient::Send(std::span<const uint8_t> message) {
  std::lock_guard lock(m_sendMutex);
  if (message.empty() || IsShutDown()) return false;
  if (!WaitForOutput([this] { return m_maxEventSize.load(std::memory_order_relaxed) > 0; })) {
    return false;
  }
  const size_t limit = std::min(m_maxEventSize.load(std::memory_order_relaxed),
                                m_output.Capacity() - sizeof(ChunkHeader));
  if (message.size() > limit && message.front() != 0xF0) return false;

  const uint64_t first = m_nextSeq;
  const auto cancel = [this] {
    m_cancelThrough.store(m_nextSeq - 1, std::memory_order_release);
    return false;
  };
  for (size_t offset = 0; offset < message.size(); offset += limit) {
    const auto piece = message.subspan(offset, std::min(limit, message.size() - offset));
    ChunkHeader header{m_nextSeq, static_cast<uint32_t>(piece.size()), 0};
    const size_t needed = sizeof header + piece.size();
    if (!WaitForOutput([&] { return m_output.WriteSpace() >= needed; })) return cancel();
    m_output.Write(BytesOf(header), piece);
    ++m_nextSeq;
  }
  const uint64_t last = m_nextSeq - 1;
  if (!WaitForOutput([&] { return m_doneThrough.load(std::memory_order_acquire) >= last; })) {
    return cancel();
  }
  return m_failedThrough.load(std::memory_order_acquire) < first;
}

bool JackClient::WaitForOutput(const std::function<bool()>& done) {
  uint64_t seen = m_doneThrough.load(std::memory_order_acquire);
  auto lastProgress = std::chrono::steady_clock::now();
  while (!done()) {
    if (OutputSinkGone()) return false;
    const uint64_t now = m_doneThrough.load(std::memory_order_acquire);
    if (now != seen) {
      seen = now;
      lastProgress = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - lastProgress > kStallTimeout) {
      return false;
    }
    TimedWait(&m_outputProgress, std::chrono::milliseconds(5));
  }
  return true;
}

int JackClient::OnProcess(jack_nframes_t frames, void* self) {
  auto* client = static_cast<JackClient*>(self);
  client->ProcessInput(frames);
  client->ProcessOutput(frames);
  client->m_cycles.fetch_add(1, std::memory_order_release);
  return 0;
}

void JackClient::OnShutdown(void* self) {
  auto* client = static_cast<JackClient*>(self);
  client->m_shutDown.store(true, std::memory_order_release);
  sem_post(&client->m_outputProgress);
  sem_post(&client->m_inputReady);
}

// On libjack's notification thread.
void JackClient::OnConnectionChange(jack_port_id_t a, jack_port_id_t b, int connected, void* self) {
  auto* client = static_cast<JackClient*>(self);
  jack_port_t* first = jack_port_by_id(client->m_client, a);
  jack_port_t* second = jack_port_by_id(client->m_client, b);
  if (Hear(client->m_inputLink, client->m_inPort, first, second, connected != 0)) {
    sem_post(&client->m_inputReady);
  }
  if (Hear(client->m_outputLink, client->m_outPort, first, second, connected != 0)) {
    sem_post(&client->m_outputProgress);
  }
}

void JackClient::ProcessInput(jack_nframes_t frames) {
  void* buffer = jack_port_get_buffer(m_inPort, frames);
  if (!buffer || !m_inputOpen.load(std::memory_order_acquire)) return;
  uint64_t lost = jack_midi_get_lost_event_count(buffer);
  bool queued = false;
  const uint32_t count = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    if (m_input.Write({event.buffer, event.size})) {
      queued = true;
    } else {
      ++lost;
    }
  }
  if (lost) m_lostInputEvents.fetch_add(lost, std::memory_order_relaxed);
  if (queued) sem_post(&m_inputReady);
}

void JackClient::ProcessOutput(jack_nframes_t frames) {
  void* buffer = jack_port_get_buffer(m_outPort, frames);
  if (!buffer) return;
  jack_midi_clear_buffer(buffer);
  const size_t emptyMax = jack_midi_max_event_size(buffer);
  m_maxEventSize.store(emptyMax, std::memory_order_relaxed);
  bool progressed = false;
  ChunkHeader header;
  while (m_output.Peek(BytesOf(header))) {
    const bool cancelled = header.seq <= m_cancelThrough.load(std::memory_order_acquire);
    if (cancelled || header.size > emptyMax) {
      m_output.Skip(sizeof header + header.size);
      if (!cancelled) m_failedThrough.store(header.seq, std::memory_order_release);
    } else {
      // Asked first: a refused reservation would count as a lost event at the receiving end.
      if (jack_midi_max_event_size(buffer) < header.size) break;  // goes out next period
      jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, header.size);
      if (!event) break;
      m_output.Skip(sizeof header);
      m_output.Read({event, header.size});
    }
    m_doneThrough.store(header.seq, std::memory_order_release);
    progressed = true;
  }
  if (progressed) sem_post(&m_outputProgress);
}

}  // namespace tarn::platform
