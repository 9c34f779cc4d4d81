// ProcessIncoming over arbitrary device input. The first byte says how much the read in flight
// asks for (times 128; with its top bit, the whole buffer); the second says which request is owed
// answers, and how many (0 to 3), since only an owed answer reaches the worker's state; the rest is
// cut into messages after every F7, as a MIDI stream delivers them, and each message is queued in
// its own exactly sized buffer so ASan sees any read past it. Every reply the dispatcher sends must
// be one well-formed SysEx message.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/answer_ledger.h"
#include "engine/dispatcher.h"
#include "engine/message_source.h"
#include "engine/update_context.h"
#include "engine/update_events.h"
#include "firmware/image_set.h"
#include "sysex/messages.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Require(bool condition) {
  if (!condition) std::abort();
}

class NoImages : public tarn::ImageSet {
 public:
  std::optional<std::span<const uint8_t>> Find(int32_t) const override { return std::nullopt; }
};

class SilentView : public tarn::UpdateObserver {
 public:
  void OnEvent(const tarn::UpdateEvent&) override {}
};

class Queue : public tarn::MessageSource {
 public:
  explicit Queue(std::deque<Bytes> messages) : m_messages(std::move(messages)) {}
  std::span<const uint8_t> PeekSysEx() override {
    if (m_messages.empty()) return {};
    return m_messages.front();
  }
  void PopSysEx() override {
    if (!m_messages.empty()) m_messages.pop_front();
  }
  bool Empty() const { return m_messages.empty(); }

 private:
  std::deque<Bytes> m_messages;
};

std::deque<Bytes> SplitAfterEnd(const uint8_t* data, size_t size) {
  std::deque<Bytes> messages;
  Bytes current;
  for (size_t i = 0; i < size; ++i) {
    current.push_back(data[i]);
    if (data[i] == tarn::kSysExEnd) {
      messages.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) messages.push_back(std::move(current));
  return messages;
}

tarn::SendResult CheckSent(const uint8_t* bytes, int32_t length) {
  Require(length == tarn::kHostStatusLength || length == tarn::kIdentityReplyLength);
  Require(bytes[0] == tarn::kSysExStart && bytes[length - 1] == tarn::kSysExEnd);
  for (int32_t i = 1; i + 1 < length; ++i)
    Require(bytes[i] < 0x80);
  return tarn::SendResult::kSent;
}

void Owe(tarn::UpdateContext& context, uint8_t selector) {
  using tarn::RequestKind;
  // Every request the engine awaits an answer to.
  constexpr tarn::RequestKey kKeys[] = {
      {RequestKind::kIdentityRequest}, {RequestKind::kBeginUpdate},
      {RequestKind::kEraseFlash},      {RequestKind::kWriteBlock},
      {RequestKind::kReadFlash},       {RequestKind::kReadFlash, 0, true},
      {RequestKind::kFinishUpdate}};
  constexpr int32_t kKinds = std::size(kKeys);
  const tarn::RequestKey key = kKeys[selector % kKinds];
  for (int32_t i = 0; i < selector / kKinds % 4; ++i)
    Require(context.Answers().Expect(key, std::chrono::milliseconds(0), [] {}));
}

void Dispatch(tarn::UpdateContext& context, const std::deque<Bytes>& messages, int32_t asked) {
  Queue queue(messages);
  tarn::ProcessIncoming(context, queue);
  Require(queue.Empty());
  Require(context.ReadBack().Received().size() <= static_cast<size_t>(asked));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const NoImages images;
  static SilentView view;
  tarn::UpdateContext context(images, view, CheckSent);
  const int32_t asked = (data[0] & 0x80) ? tarn::ReadBackBuffer::kSize : (data[0] & 0x7F) * 128;
  context.ReadBack().Start(asked);
  const std::deque<Bytes> messages = SplitAfterEnd(data + 2, size - 2);

  Owe(context, data[1]);
  Dispatch(context, messages, asked);
  // The worker copies whatever identity the device reported and builds replies with its first
  // byte; the same messages again must still be answered with well-formed ones.
  context.StoreIdentityCopy(context.DeviceIdentity());
  Owe(context, data[1]);
  Dispatch(context, messages, asked);
  return 0;
}
