// The engine against the simulator's VirtualDevice in one process: the context sends straight
// into the device, the device's messages queue up for the dispatcher, and a ticker thread
// dispatches them every millisecond, as the updater's timer does. Faults come from the
// device's own fault rules.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/update_context.h"
#include "engine/update_events.h"
#include "firmware/image_set.h"
#include "sim/virtual_device.h"
#include "tests/support/message_queue.h"
#include "tests/support/recording_observer.h"

namespace tarn::test {

using Bytes = std::vector<uint8_t>;

class MemoryImages : public ImageSet {
 public:
  void Put(int32_t id, Bytes bytes) { m_images[id] = std::move(bytes); }
  void Remove(int32_t id) { m_images.erase(id); }
  const Bytes& Image(int32_t id) const { return m_images.at(id); }
  std::optional<std::span<const uint8_t>> Find(int32_t id) const override;

 private:
  std::map<int32_t, Bytes> m_images;
};

// Bytes that differ from image to image and from block to block.
Bytes PatternImage(int32_t id, size_t size);

// The five images, small and of sizes that are no multiple of the block size. The boot
// image is full size so that its version text sits where the device keeps it.
MemoryImages SmallImageSet();

inline constexpr char kBootVersion[] = "1.00";

// The device answers within milliseconds: these waits end early only when no answer comes. A
// block still gets a whole second, so that a slow (sanitised) build never times out by accident.
Timing QuickTiming();
// For runs in which many requests go unanswered.
Timing ShortWaits();
// Waits that only an abort can end within a test's run time; short pauses.
Timing LongWaits();

// The step box's texts "0/10" up to "`last`/10".
std::vector<std::string> StepTexts(int32_t last);

// Messages of the device the rig stands in for (model byte 0x6E).
Bytes StatusMessage(uint8_t status);
Bytes DoneMessage();
Bytes MakerMessage(uint8_t command);
Bytes DeviceIdentityMessage(const Identity& identity);
// A ReadFlashReply carrying `data`, with a checksum that does not match it when `spoiled`.
Bytes ReadFlashReplyMessage(std::span<const uint8_t> data, bool spoiled = false);

class EngineRig {
 public:
  // The engine with `images`, against a device set up by `config`.
  explicit EngineRig(Timing timing = QuickTiming(), MemoryImages images = SmallImageSet(),
                     const sim::DeviceConfig& config = {});
  // The engine with an image set kept elsewhere (the program's own).
  EngineRig(const ImageSet& imageSet, const sim::DeviceConfig& config,
            Timing timing = QuickTiming());
  // A worker still running (a test that failed half-way) is aborted and joined.
  ~EngineRig();
  EngineRig(const EngineRig&) = delete;
  EngineRig& operator=(const EngineRig&) = delete;

  // Adds fault rules in their command-line form; a rule that does not parse fails the test.
  void AddFaults(const std::vector<std::string_view>& rules);
  // What the engine's send function reports from now on; only a sent message reaches the
  // device.
  void SetSendResult(SendResult result) { m_sendResult = result; }

  // Runs a whole update on a worker thread and waits for its end.
  void RunUpdate();
  // Starts one on a worker thread.
  void StartUpdate();
  void JoinUpdate();
  // Polls until the device has received `count` requests of `kind`; false after a few seconds.
  bool AwaitRequests(RequestKind kind, int32_t count = 1) const;

  // What the device received, in order: all of it, or the requests of one kind.
  std::vector<RequestKind> Kinds() const;
  std::vector<sim::ReceivedMessage> Requests(RequestKind kind) const;
  // Erase requests as (address, count), and the addresses of the WriteBlocks.
  std::vector<std::pair<uint32_t, uint32_t>> Erases() const;
  std::vector<uint32_t> WriteAddresses() const;
  Bytes Flash(uint32_t address, size_t length) const;
  // Whether every image of the plan is in the flash at its address.
  bool FlashHoldsTheImages() const;

  MemoryImages images;
  RecordingObserver view;
  std::optional<UpdateOutcome> outcome;  // once the update's worker has ended
  sim::VirtualDevice device;
  MessageQueue queue;
  UpdateContext context;

 private:
  EngineRig(Timing timing, MemoryImages images, const ImageSet* imageSet,
            const sim::DeviceConfig& config);
  // Hands the message to the device. An answer the device sends at once is dispatched before
  // this returns, so it is in before the engine starts its wait: however loaded the machine,
  // only answers held back on purpose can come after a wait has ended.
  SendResult Send(const uint8_t* bytes, int32_t length);

  const ImageSet& m_imageSet;
  std::chrono::microseconds m_answerGap;
  std::atomic<SendResult> m_sendResult{SendResult::kSent};
  std::thread m_worker;
  std::jthread m_ticker;  // last: stops before anything it touches goes away
};

}  // namespace tarn::test
