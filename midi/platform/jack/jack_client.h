// One JACK client with one MIDI input and one MIDI output port, and the realtime side of both:
// the process callback only moves bytes between the port buffers and two lock-free queues.
#pragma once

#include <jack/jack.h>
#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "midi/platform/backend.h"
#include "midi/platform/jack/jack_backend.h"
#include "midi/platform/jack/rt_byte_queue.h"

namespace tarn::platform {

class JackClient {
 public:
  // nullptr when no server answers (a server is never started) or the ports cannot be made.
  static std::shared_ptr<JackClient> Open(const std::string& name);
  ~JackClient();
  JackClient(const JackClient&) = delete;
  JackClient& operator=(const JackClient&) = delete;

  // The name the server granted, which may differ from the one asked for.
  const std::string& Name() const { return m_name; }
  bool IsShutDown() const { return m_shutDown.load(std::memory_order_acquire); }

  // Other clients' MIDI ports with the given direction flag (JackPortIsOutput = sources).
  std::vector<DeviceInfo> ForeignPorts(unsigned long direction);
  bool IsForeignPort(const std::string& id, unsigned long direction);

  // One input and one output user at a time.
  bool ClaimInput() { return !m_inputClaimed.exchange(true); }
  void ReleaseInput() { m_inputClaimed.store(false); }
  bool ClaimOutput() { return !m_outputClaimed.exchange(true); }
  void ReleaseOutput() { m_outputClaimed.store(false); }

  // Our port is connected to `source` (or `sink`) alone.
  bool ConnectInputFrom(const std::string& source);
  void DisconnectInputFrom(const std::string& source);
  bool ConnectOutputTo(const std::string& sink);
  void DisconnectOutputTo(const std::string& sink);
  bool OutputConnectedTo(const std::string& sink) const;
  // True once the server stopped, or the port connected last lost its connection to ours
  // without our asking (its port went with its client): nothing more can pass.
  bool InputSourceGone() const { return IsShutDown() || m_inputLink.lost.load(); }
  bool OutputSinkGone() const { return IsShutDown() || m_outputLink.lost.load(); }

  // Input delivery. Begin discards anything stale; after End no process cycle adds bytes.
  // Read, Wait and Lost belong to the one thread that drains the input.
  void BeginInput();
  void EndInput();
  size_t ReadInput(std::span<uint8_t> out) { return m_input.ReadSome(out); }
  void WaitForInput();
  void WakeInput() { sem_post(&m_inputReady); }
  uint64_t TakeLostInputEvents() { return m_lostInputEvents.exchange(0); }

  // Sends one message and returns once its last byte has been written into a period. A SysEx
  // message larger than one event can hold goes out as consecutive events; any other message
  // that large is refused. False on a refused message, a stall or a server that went away.
  bool Send(std::span<const uint8_t> message);

 private:
  struct ChunkHeader {
    uint64_t seq;
    uint32_t size;
    uint32_t reserved;
  };

  JackClient();
  // Closes the handle once the server has gone away; the object stays usable, and failing.
  void CloseIfShutDown();
  // One of our ports' connection to another client's port, followed through the server's
  // notifications: they come in order, so only a disconnection told after the connection was
  // told is news (an earlier one ended a connection before it). `other` is null while none is.
  struct Link {
    std::atomic<jack_port_t*> other{nullptr};
    std::atomic<bool> told{false};
    std::atomic<bool> lost{false};
  };
  // `ours` connected to `other` alone, the connection running from `source` to `destination`.
  bool Connect(Link& link, jack_port_t* ours, const std::string& source,
               const std::string& destination, const std::string& other);
  void Disconnect(Link& link, const std::string& source, const std::string& destination);
  static void Forget(Link& link);
  // True when the notification tells that `link` was lost.
  static bool Hear(Link& link, jack_port_t* ours, jack_port_t* first, jack_port_t* second,
                   bool connected);
  bool IsForeignPortLocked(const std::string& id, unsigned long direction);
  bool WaitUntilConnected(jack_port_t* port, const std::string& other);
  static int OnProcess(jack_nframes_t frames, void* self);
  static void OnShutdown(void* self);
  static void OnConnectionChange(jack_port_id_t a, jack_port_id_t b, int connected, void* self);
  void ProcessInput(jack_nframes_t frames);
  void ProcessOutput(jack_nframes_t frames);
  // Waits until done() holds while the output keeps moving; false on a stall or shutdown.
  bool WaitForOutput(const std::function<bool()>& done);
  void WaitForCycle();

  // Guards the handle and the ports for every call into libjack outside the process callback.
  mutable std::mutex m_handleMutex;
  jack_client_t* m_client = nullptr;
  jack_port_t* m_inPort = nullptr;
  jack_port_t* m_outPort = nullptr;
  std::string m_name;
  std::string m_inPortName;
  std::string m_outPortName;
  Link m_inputLink;
  Link m_outputLink;

  std::atomic<bool> m_shutDown{false};
  std::atomic<bool> m_inputClaimed{false};
  std::atomic<bool> m_outputClaimed{false};
  std::atomic<uint64_t> m_cycles{0};

  RtByteQueue m_input;
  std::atomic<bool> m_inputOpen{false};
  std::atomic<uint64_t> m_lostInputEvents{0};
  sem_t m_inputReady;

  RtByteQueue m_output;
  std::mutex m_sendMutex;
  uint64_t m_nextSeq = 1;  // guarded by m_sendMutex
  std::atomic<size_t> m_maxEventSize{0};
  std::atomic<uint64_t> m_doneThrough{0};
  std::atomic<uint64_t> m_failedThrough{0};
  std::atomic<uint64_t> m_cancelThrough{0};
  sem_t m_outputProgress;
};

}  // namespace tarn::platform
