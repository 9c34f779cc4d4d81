// A Tarn device living in this process: the device side of the protocol over an 8 MiB flash,
// with a modelled link and deterministic fault injection. It answers on its own thread, so the
// host sees it as it would see a device behind a MIDI port.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <span>
#include <thread>
#include <vector>

#include "midi/platform/loopback_peer.h"
#include "sim/device_core.h"
#include "sim/device_log.h"
#include "sim/device_messages.h"
#include "sim/fault_rule.h"
#include "sim/flash_check.h"

namespace tarn::sim {

struct DeviceConfig {
  DeviceIdentitySettings device;
  bool updateMode = true;  // off: BeginUpdate and every flash request answered with 0x0B
  std::chrono::microseconds latency{0};  // from a request's arrival to its answer leaving
  // Bytes per second in each direction; each message takes size / rate on its wire, one
  // message after the other per direction. 0: no link time.
  uint32_t linkRate = 0;
  // The least time between two messages to the host, whatever their size (one per USB frame,
  // say); 0: none beyond the link rate.
  std::chrono::microseconds answerGap{0};
  std::vector<FaultRule> faults;
};

class VirtualDevice final : public platform::LoopbackPeer {
 public:
  explicit VirtualDevice(const DeviceConfig& config = {});
  ~VirtualDevice() override;
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  // Queues the message on the host-to-device wire and returns at once.
  void Receive(std::span<const uint8_t> message) override;
  // Must not be called from inside the output itself.
  void SetOutput(platform::PeerOutput output) override;

  // Settings that apply from the next request that arrives.
  void SetUpdateMode(bool on);
  void SetLatency(std::chrono::microseconds latency);
  void SetLinkRate(uint32_t bytesPerSecond);
  // Places bytes in the flash as the device was left before this run.
  void PresetFlash(uint32_t address, std::span<const uint8_t> bytes);
  // Returns the rule's index for FaultHits. Rules act in the order they were added; those of
  // the config come first, from index 0.
  int32_t AddFault(const FaultRule& rule);
  void ClearFaults();
  // How many requests rule `index` has acted on.
  int32_t FaultHits(int32_t index) const;

  // Sends something unasked, after anything already on the device-to-host wire.
  void SendUnsolicited(Unsolicited kind);
  void SendRaw(std::span<const uint8_t> message);

  // True once nothing is in flight in either direction (false when `timeout` passed first).
  bool WaitIdle(std::chrono::milliseconds timeout);
  // True once everything due by `by` has arrived, been answered and been handed to the output,
  // with later events (answers held back) left waiting.
  bool WaitDelivered(std::chrono::steady_clock::time_point by, std::chrono::milliseconds timeout);

  std::vector<ReceivedMessage> Received() const;
  int32_t Count(RequestKind kind) const;
  int32_t CountAt(RequestKind kind, uint32_t address) const;
  int32_t MessagesSent() const;  // handed to the output (answers and unsolicited messages)

  // A copy of flash bytes; empty when the range lies outside the flash.
  std::vector<uint8_t> FlashBytes(uint32_t address, uint32_t count) const;
  FlashCheck VerifyFlash(const ExpectedFlash& expected) const;

 private:
  using Clock = std::chrono::steady_clock;
  using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

  struct Event {
    Clock::time_point at;
    uint64_t order;  // keeps events due at the same moment in the order they were made
    bool arrival;    // true: a message reaching the device; false: one reaching the host
    Bytes bytes;
  };
  struct Later {
    bool operator()(const Event& a, const Event& b) const {
      return a.at != b.at ? a.at > b.at : a.order > b.order;
    }
  };
  struct ActiveFault {
    FaultRule rule;
    int64_t seen = 0;
    int32_t hits = 0;
  };
  struct Effects {
    bool ignore = false;
    bool drop = false;
    bool duplicate = false;
    bool done = false;
    bool stale = false;
    std::optional<uint32_t> cutAt;
    RequestFaults handling;
    Clock::duration late{};
    Clock::duration copyLate{};  // a duplicate's copy, out of the stream
    std::optional<uint8_t> status;
    Clock::duration delay{};
  };

  void Run();
  void Arrive(const Event& event);
  Effects ApplyFaults(const ReceivedMessage& request);
  void Transmit(std::vector<uint8_t> message, Clock::time_point ready);
  // Sends without waiting for the wire or holding up what comes after: a message a busy MIDI
  // server delivered late.
  void TransmitOutOfStream(std::vector<uint8_t> message, Clock::time_point ready);
  Clock::duration TransferTime(size_t size) const;

  mutable std::mutex m_mutex;  // everything below except the output
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::priority_queue<Event, std::vector<Event>, Later> m_events;
  uint64_t m_nextOrder = 0;
  bool m_delivering = false;
  bool m_stopping = false;
  Clock::time_point m_start;
  Clock::time_point m_hostWireFree;    // host to device
  Clock::time_point m_deviceWireFree;  // device to host
  std::chrono::microseconds m_latency;
  uint32_t m_linkRate;
  std::chrono::microseconds m_answerGap;
  DeviceCore m_core;
  DeviceLog m_log;
  std::vector<ActiveFault> m_faults;
  int32_t m_sent = 0;

  std::mutex m_outputMutex;  // held while the output runs, so SetOutput waits for it
  platform::PeerOutput m_output;

  std::thread m_thread;  // last: starts once everything else is in place
};

}  // namespace tarn::sim
