// An engine wired to a fake device: images in memory, a recording view, and a ticker thread
// that hands due answers to the dispatcher every millisecond, as the dialog's timer does.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "engine/update_context.h"
#include "firmware/image_set.h"
#include "tests/engine/fake_device.h"
#include "tests/support/recording_observer.h"

namespace tarn::test {

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

// Answers come within a few milliseconds, so these waits only end early when no answer comes.
Timing QuickTiming();
// For scripts in which many requests go unanswered.
Timing ShortWaits();
// Waits that only an abort can end within a test's run time; short pauses.
Timing LongWaits();

class EngineRig {
 public:
  explicit EngineRig(Timing timing = QuickTiming(), MemoryImages images = SmallImageSet());
  // A worker still running (a test that failed half-way) is aborted and joined.
  ~EngineRig();
  EngineRig(const EngineRig&) = delete;
  EngineRig& operator=(const EngineRig&) = delete;

  // Runs a whole update on a worker thread and waits for its end.
  void RunUpdate();
  // Starts one on a worker thread.
  void StartUpdate();
  void JoinUpdate();
  // Polls until the device has received `count` requests of `kind`; false after a few seconds.
  bool AwaitRequests(RequestKind kind, int32_t count = 1) const;

  MemoryImages images;
  RecordingObserver view;
  std::optional<UpdateOutcome> outcome;  // once the update's worker has ended
  FakeDevice device;
  MessageQueue queue;
  UpdateContext context;

 private:
  // Hands the message to the device. An answer the device sends at once is dispatched before
  // this returns, so it is in before the engine starts its wait: however loaded the machine,
  // only answers held back on purpose can come after a wait has ended.
  SendResult Send(const uint8_t* bytes, int32_t length);

  std::thread m_worker;
  std::jthread m_ticker;  // last: stops before anything it touches goes away
};

// Erase and write steps of the plan, as (address, count) of the requests the device got.
std::vector<std::pair<uint32_t, uint32_t>> EraseRequests(const FakeDevice& device);
std::vector<uint32_t> WriteAddresses(const FakeDevice& device);

}  // namespace tarn::test
