#include "tests/support/engine_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/dispatcher.h"
#include "engine/flash_plan.h"
#include "engine/update_sequence.h"
#include "sysex/device_messages.h"
#include "tests/support/test_timing.h"
#include "tests/support/wait_until.h"

namespace tarn::test {

using namespace std::chrono_literals;

namespace {

// The model byte of the device the rig stands in for: the first byte of its identity.
constexpr uint8_t kModelByte = 0x6E;

}  // namespace

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
  return TestTiming({.blockWait = 1000ms, .retryPause = 2ms, .settleWait = 500ms});
}

Timing ShortWaits() {
  return {200ms, 200ms, 200ms, 30ms, 1ms, 1ms, 50ms};
}

Timing LongWaits() {
  return {30s, 60s, 60s, 30s, 2ms, 2ms, 2s};
}

std::vector<std::string> StepTexts(int32_t last) {
  std::vector<std::string> texts;
  for (int32_t step = 0; step <= last; ++step)
    texts.push_back(std::to_string(step) + "/10");
  return texts;
}

Bytes StatusMessage(uint8_t status) {
  return DeviceStatusMessage(kModelByte, status);
}

Bytes DoneMessage() {
  return DeviceDoneMessage(kModelByte);
}

Bytes MakerMessage(uint8_t command) {
  return MakerCommandMessage(kModelByte, command);
}

Bytes DeviceIdentityMessage(const Identity& identity) {
  return DeviceIdentityReplyMessage(identity, VersionText{0x01, 0x00, 0x00, 0x00});
}

Bytes ReadFlashReplyMessage(std::span<const uint8_t> data, bool spoiled) {
  return tarn::ReadFlashReplyMessage(kModelByte, data,
                                     spoiled ? ReplyChecksum::kSpoiled : ReplyChecksum::kIntact);
}

EngineRig::EngineRig(Timing timing, MemoryImages images, const sim::DeviceConfig& config)
    : EngineRig(timing, std::move(images), nullptr, config) {}

EngineRig::EngineRig(const ImageSet& imageSet, const sim::DeviceConfig& config, Timing timing)
    : EngineRig(timing, {}, &imageSet, config) {}

EngineRig::EngineRig(Timing timing, MemoryImages images, const ImageSet* imageSet,
                     const sim::DeviceConfig& config)
    : images(std::move(images)),
      device(config),
      context(
          imageSet ? *imageSet : this->images, view,
          [this](const uint8_t* bytes, int32_t length) { return Send(bytes, length); }, timing),
      m_imageSet(imageSet ? *imageSet : this->images),
      m_answerGap(config.answerGap) {
  device.SetOutput([this](std::span<const uint8_t> message) { queue.Push(message); });
  m_ticker = std::jthread([this](std::stop_token stop) {
    while (!stop.stop_requested()) {
      ProcessIncoming(context, queue);
      std::this_thread::sleep_for(1ms);
    }
  });
}

EngineRig::~EngineRig() {
  if (m_worker.joinable()) {
    context.Abort();
    m_worker.join();
  }
  m_ticker.request_stop();
  m_ticker.join();
  device.SetOutput({});
}

void EngineRig::AddFaults(const std::vector<std::string_view>& rules) {
  for (const std::string_view text : rules) {
    std::string error;
    const auto rule = sim::ParseFaultRule(text, &error);
    if (rule) {
      device.AddFault(*rule);
    } else {
      ADD_FAILURE() << text << ": " << error;
    }
  }
}

SendResult EngineRig::Send(const uint8_t* bytes, int32_t length) {
  const SendResult result = m_sendResult;
  if (result != SendResult::kSent) return result;
  const auto sent = std::chrono::steady_clock::now();
  device.Receive({bytes, static_cast<size_t>(length)});
  // The ticker itself sends (answers to the device's requests): it cannot wait for itself.
  if (std::this_thread::get_id() == m_ticker.get_id()) return result;
  // Bounded, so that a ticker held up by this very send (it waits for the send lock to answer
  // a device request) is let go; the answer then simply comes in real time.
  const auto giveUp = std::chrono::steady_clock::now() + 5s;
  if (!device.WaitDelivered(sent + m_answerGap, 5s)) return result;
  while (!queue.Empty() && std::chrono::steady_clock::now() < giveUp) {
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
  return WaitUntil([&] { return device.Count(kind) >= count; });
}

std::vector<RequestKind> EngineRig::Kinds() const {
  std::vector<RequestKind> kinds;
  for (const auto& request : device.Received())
    kinds.push_back(request.kind);
  return kinds;
}

std::vector<sim::ReceivedMessage> EngineRig::Requests(RequestKind kind) const {
  std::vector<sim::ReceivedMessage> matching;
  for (auto& request : device.Received()) {
    if (request.kind == kind) matching.push_back(request);
  }
  return matching;
}

std::vector<std::pair<uint32_t, uint32_t>> EngineRig::Erases() const {
  std::vector<std::pair<uint32_t, uint32_t>> erases;
  for (const auto& request : Requests(RequestKind::kEraseFlash))
    erases.emplace_back(request.address, request.count);
  return erases;
}

std::vector<uint32_t> EngineRig::WriteAddresses() const {
  std::vector<uint32_t> addresses;
  for (const auto& request : Requests(RequestKind::kWriteBlock))
    addresses.push_back(request.address);
  return addresses;
}

Bytes EngineRig::Flash(uint32_t address, size_t length) const {
  return device.FlashBytes(address, static_cast<uint32_t>(length));
}

bool EngineRig::FlashHoldsTheImages() const {
  for (const PlanStep& step : FlashPlan) {
    if (step.mode != PlanMode::kWrite) continue;
    const auto image = m_imageSet.Find(step.imageId);
    if (!image || Flash(step.address, image->size()) != Bytes(image->begin(), image->end())) {
      return false;
    }
  }
  return true;
}

}  // namespace tarn::test
