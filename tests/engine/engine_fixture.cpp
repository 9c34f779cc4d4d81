#include "tests/engine/engine_fixture.h"

#include <cstring>

#include "engine/dispatcher.h"
#include "engine/flash_plan.h"
#include "engine/update_sequence.h"

namespace tarn::test {

using namespace std::chrono_literals;

std::optional<std::span<const uint8_t>> MemoryImages::Find(int32_t id) const {
  const auto found = m_images.find(id);
  if (found == m_images.end()) return std::nullopt;
  return std::span<const uint8_t>(found->second);
}

Bytes PatternImage(int32_t id, size_t size) {
  Bytes image(size);
  for (size_t i = 0; i < size; ++i) {
    image[i] = static_cast<uint8_t>(i * 31 + i / 4096 * 7 + static_cast<size_t>(id));
  }
  return image;
}

MemoryImages SmallImageSet() {
  MemoryImages images;
  Bytes boot = PatternImage(142, kBootVersionAddress + kBootVersionLength);
  std::memcpy(boot.data() + kBootVersionAddress, kBootVersion, kBootVersionLength);
  images.Put(142, std::move(boot));
  images.Put(133, PatternImage(133, 5000));
  images.Put(129, PatternImage(129, 9000));
  images.Put(139, PatternImage(139, 4096));
  images.Put(136, PatternImage(136, 4100));
  return images;
}

Timing QuickTiming() {
  return {2s, 2s, 2s, 2s, 2ms, 2ms, 200ms};
}

Timing ShortWaits() {
  return {200ms, 200ms, 200ms, 30ms, 1ms, 1ms, 50ms};
}

Timing LongWaits() {
  return {30s, 60s, 60s, 30s, 2ms, 2ms, 2s};
}

EngineRig::EngineRig(Timing timing, MemoryImages images)
    : images(std::move(images)),
      context(
          this->images, view,
          [this](const uint8_t* bytes, int32_t length) { return Send(bytes, length); }, timing),
      m_ticker([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
          device.DeliverDue(queue);
          ProcessIncoming(context, queue);
          std::this_thread::sleep_for(1ms);
        }
      }) {}

EngineRig::~EngineRig() {
  if (!m_worker.joinable()) return;
  context.Abort();
  m_worker.join();
}

SendResult EngineRig::Send(const uint8_t* bytes, int32_t length) {
  std::optional<FakeDevice::Clock::time_point> prompt;
  const SendResult result = device.Receive(bytes, length, &prompt);
  // The ticker itself sends (answers to the device's requests): it cannot wait for itself.
  if (!prompt || std::this_thread::get_id() == m_ticker.get_id()) return result;
  // The queue is empty once the dispatcher has handled what it held. Bounded, so that a ticker
  // held up by this very send (it waits for the send lock to answer a device request) is let
  // go; the answer then simply comes in real time.
  const auto giveUp = FakeDevice::Clock::now() + 5s;
  while (!(device.DeliveredBy(*prompt) && queue.Empty()) && FakeDevice::Clock::now() < giveUp) {
    std::this_thread::sleep_for(100us);
  }
  return result;
}

void EngineRig::RunUpdate() {
  StartUpdate();
  JoinUpdate();
}

void EngineRig::StartUpdate() {
  context.ForgetAnswer();
  m_worker = std::thread([this] { outcome = UpdateThreadProc(context); });
}

void EngineRig::JoinUpdate() {
  m_worker.join();
}

bool EngineRig::AwaitRequests(RequestKind kind, int32_t count) const {
  for (int i = 0; i < 5000; ++i) {
    if (device.Count(kind) >= count) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

std::vector<std::pair<uint32_t, uint32_t>> EraseRequests(const FakeDevice& device) {
  std::vector<std::pair<uint32_t, uint32_t>> requests;
  for (auto& request : device.Sent(RequestKind::kEraseFlash)) {
    requests.emplace_back(RequestAddress(request), RequestCount(request));
  }
  return requests;
}

std::vector<uint32_t> WriteAddresses(const FakeDevice& device) {
  std::vector<uint32_t> addresses;
  for (auto& request : device.Sent(RequestKind::kWriteBlock))
    addresses.push_back(RequestAddress(request));
  return addresses;
}

}  // namespace tarn::test
