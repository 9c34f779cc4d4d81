// A scripted device on the other end of the engine's send function. Every message the host
// sends is recorded; a script per kind of request decides the answers (now, later or never),
// which the test's ticker hands to the dispatcher when they are due.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "engine/message_source.h"
#include "engine/update_context.h"
#include "sysex/host_requests.h"
#include "tests/support/message_queue.h"

namespace tarn::test {

using Bytes = std::vector<uint8_t>;

// A delay holds the answer back, and with it every answer sent after it; out of the stream it
// holds back nothing else (a message a busy MIDI server delivered late).
struct Reply {
  Bytes message;
  std::chrono::milliseconds delay{0};
  bool outOfStream = false;
};

// The answers to the `attempt`-th request (1-based) of one kind.
using Script = std::function<std::vector<Reply>(const Bytes& request, int32_t attempt)>;

// Device messages.
Bytes StatusMessage(uint8_t status);
Bytes DoneMessage();
Bytes DeviceIdentityMessage(const Identity& identity);
Bytes MakerMessage(uint8_t command);
// A ReadFlashReply carrying `data`, with a checksum that does not match it when `spoiled`.
Bytes ReadFlashReplyMessage(std::span<const uint8_t> data, bool spoiled = false);

// Fields of the host's requests.
uint32_t RequestAddress(const Bytes& request);  // erase, write, read
uint32_t RequestCount(const Bytes& request);    // erase, read
int32_t BlockLength(const Bytes& request);      // write

// Scripts for common device behaviour.
Script Never();
Script AlwaysStatus(uint8_t status);

class FakeDevice {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr uint32_t kFlashSize = 0x800000;
  static constexpr Identity kIdentity{0x6E, 0x00, 0x04, 0x00};

  FakeDevice();

  // Replaces the behaviour for one kind of request; by default the device is healthy.
  void On(RequestKind kind, Script script);
  // What Receive reports (the message is recorded either way; only a sent one is answered).
  void SetSendResult(SendResult result) { m_sendResult = result; }
  // The engine's send function: takes in one message from the host. When its first answer
  // leaves at once (no delay of its own, nothing ahead of it on the wire), `prompt` is set to
  // the time it is due.
  SendResult Receive(const uint8_t* bytes, int32_t length,
                     std::optional<Clock::time_point>* prompt = nullptr);
  // How long each answer takes on its way back, one after the other (none by default). With
  // it, answers that were held back come one by one, not all at once.
  void SetAnswerSpacing(std::chrono::milliseconds spacing) { m_spacing = spacing; }

  // What a healthy device does with `request`: erase, write or read its flash and answer.
  std::vector<Reply> Healthy(const Bytes& request);

  // Moves the answers that are due into `queue`.
  void DeliverDue(MessageQueue& queue);
  // Whether every answer due by `time` has been moved into a queue.
  bool DeliveredBy(Clock::time_point time) const;

  std::vector<Bytes> Sent() const;
  std::vector<Bytes> Sent(RequestKind kind) const;
  std::vector<RequestKind> SentKinds() const;
  int32_t Count(RequestKind kind) const { return static_cast<int32_t>(Sent(kind).size()); }

  Bytes Flash(uint32_t address, size_t length) const;
  void SetFlash(uint32_t address, std::span<const uint8_t> bytes);

 private:
  void StoreBlock(const Bytes& request, std::vector<Reply>& replies);

  std::atomic<SendResult> m_sendResult{SendResult::kSent};
  mutable std::mutex m_mutex;  // sent log, scripts and pending answers
  std::vector<Bytes> m_sent;
  std::map<RequestKind, Script> m_scripts;
  std::map<RequestKind, int32_t> m_attempts;
  // Answers on their way, in the order they were sent: one held back holds back those behind
  // it, as on one MIDI stream.
  std::multimap<Clock::time_point, Bytes> m_pending;  // equal times keep their order
  Clock::time_point m_wireFree{};
  std::atomic<std::chrono::milliseconds> m_spacing{std::chrono::milliseconds(0)};
  mutable std::mutex m_flashMutex;
  Bytes m_flash;
};

}  // namespace tarn::test
