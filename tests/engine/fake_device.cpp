#include "tests/engine/fake_device.h"

#include <algorithm>
#include <utility>

#include "sysex/device_messages.h"
#include "sysex/host_requests.h"

namespace tarn::test {

namespace {

// The model byte of the device the fake stands in for: the first byte of its identity.
constexpr uint8_t kModelByte = 0x6E;

}  // namespace

Bytes StatusMessage(uint8_t status) {
  return DeviceStatusMessage(kModelByte, status);
}

Bytes DoneMessage() {
  return DeviceDoneMessage(kModelByte);
}

Bytes DeviceIdentityMessage(const Identity& identity) {
  return DeviceIdentityReplyMessage(identity, VersionText{0x01, 0x00, 0x00, 0x00});
}

Bytes MakerMessage(uint8_t command) {
  return MakerCommandMessage(kModelByte, command);
}

Bytes ReadFlashReplyMessage(std::span<const uint8_t> data, bool spoiled) {
  return tarn::ReadFlashReplyMessage(kModelByte, data,
                                     spoiled ? ReplyChecksum::kSpoiled : ReplyChecksum::kIntact);
}

uint32_t RequestAddress(const Bytes& request) {
  if (const auto erase = ParseEraseFlash(request)) return erase->address;
  if (const auto read = ParseReadFlash(request)) return read->address;
  if (const auto block = ParseWriteBlock(request)) return block->address;
  return 0;
}

uint32_t RequestCount(const Bytes& request) {
  if (const auto erase = ParseEraseFlash(request)) return erase->count;
  if (const auto read = ParseReadFlash(request)) return read->count;
  return 0;
}

int32_t BlockLength(const Bytes& request) {
  const auto block = ParseWriteBlock(request);
  return block ? static_cast<int32_t>(block->data.size()) : 0;
}

Script Never() {
  return [](const Bytes&, int32_t) { return std::vector<Reply>{}; };
}

Script AlwaysStatus(uint8_t status) {
  return [status](const Bytes&, int32_t) { return std::vector<Reply>{{StatusMessage(status)}}; };
}

FakeDevice::FakeDevice() : m_flash(kFlashSize, 0xFF) {}

void FakeDevice::On(RequestKind kind, Script script) {
  std::lock_guard lock(m_mutex);
  m_scripts[kind] = std::move(script);
}

SendResult FakeDevice::Receive(const uint8_t* bytes, int32_t length,
                               std::optional<Clock::time_point>* prompt) {
  const Bytes request(bytes, bytes + length);
  const RequestKind kind = ClassifyHostMessage(request);
  Script script;
  int32_t attempt = 0;
  {
    std::lock_guard lock(m_mutex);
    m_sent.push_back(request);
    attempt = ++m_attempts[kind];
    if (auto found = m_scripts.find(kind); found != m_scripts.end()) script = found->second;
  }
  const SendResult result = m_sendResult;
  if (result != SendResult::kSent) return result;
  const std::vector<Reply> replies = script ? script(request, attempt) : Healthy(request);
  const auto now = Clock::now();
  std::lock_guard lock(m_mutex);
  if (prompt && !replies.empty() && replies.front().delay.count() == 0 && m_wireFree <= now) {
    *prompt = now + m_spacing.load();
  }
  for (const Reply& reply : replies) {
    if (reply.outOfStream) {
      m_pending.emplace(now + reply.delay, reply.message);
      continue;
    }
    m_wireFree = std::max(m_wireFree, now + reply.delay) + m_spacing.load();
    m_pending.emplace(m_wireFree, reply.message);
  }
  return SendResult::kSent;
}

std::vector<Reply> FakeDevice::Healthy(const Bytes& request) {
  std::vector<Reply> replies;
  switch (ClassifyHostMessage(request)) {
    case RequestKind::kIdentityRequest:
      replies.push_back({DeviceIdentityMessage(kIdentity)});
      break;
    case RequestKind::kBeginUpdate:
    case RequestKind::kFinishUpdate:
      replies.push_back({StatusMessage(0)});
      break;
    case RequestKind::kEraseFlash: {
      const uint32_t address = RequestAddress(request);
      const uint32_t end = std::min<uint32_t>(address + RequestCount(request), kFlashSize);
      std::lock_guard lock(m_flashMutex);
      if (address < end) std::fill(m_flash.begin() + address, m_flash.begin() + end, 0xFF);
      replies.push_back({StatusMessage(0)});
      break;
    }
    case RequestKind::kWriteBlock:
      StoreBlock(request, replies);
      break;
    case RequestKind::kReadFlash:
      replies.push_back(
          {ReadFlashReplyMessage(Flash(RequestAddress(request), RequestCount(request)))});
      break;
    default:
      break;
  }
  return replies;
}

void FakeDevice::StoreBlock(const Bytes& request, std::vector<Reply>& replies) {
  const auto block = ParseWriteBlock(request);
  const bool intact = block && block->crcMatches;
  if (intact) SetFlash(block->address, block->data);
  replies.push_back({StatusMessage(intact ? 0 : 1)});
}

void FakeDevice::DeliverDue(MessageQueue& queue) {
  std::lock_guard lock(m_mutex);
  const auto now = Clock::now();
  while (!m_pending.empty() && m_pending.begin()->first <= now) {
    queue.Push(m_pending.begin()->second);
    m_pending.erase(m_pending.begin());
  }
}

bool FakeDevice::DeliveredBy(Clock::time_point time) const {
  std::lock_guard lock(m_mutex);
  return m_pending.empty() || m_pending.begin()->first > time;
}

std::vector<Bytes> FakeDevice::Sent() const {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

std::vector<Bytes> FakeDevice::Sent(RequestKind kind) const {
  std::vector<Bytes> matching;
  for (auto& message : Sent()) {
    if (ClassifyHostMessage(message) == kind) matching.push_back(message);
  }
  return matching;
}

std::vector<RequestKind> FakeDevice::SentKinds() const {
  std::vector<RequestKind> kinds;
  for (auto& message : Sent())
    kinds.push_back(ClassifyHostMessage(message));
  return kinds;
}

Bytes FakeDevice::Flash(uint32_t address, size_t length) const {
  std::lock_guard lock(m_flashMutex);
  const size_t begin = std::min<size_t>(address, m_flash.size());
  const size_t end = std::min(begin + length, m_flash.size());
  return Bytes(m_flash.begin() + static_cast<ptrdiff_t>(begin),
               m_flash.begin() + static_cast<ptrdiff_t>(end));
}

void FakeDevice::SetFlash(uint32_t address, std::span<const uint8_t> bytes) {
  std::lock_guard lock(m_flashMutex);
  for (size_t i = 0; i < bytes.size() && address + i < m_flash.size(); ++i) {
    m_flash[address + i] = bytes[i];
  }
}

}  // namespace tarn::test
