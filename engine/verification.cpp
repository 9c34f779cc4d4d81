#include "engine/verification.h"

#include <algorithm>

#include "engine/exchange.h"
#include "engine/failure.h"
#include "engine/transfer.h"
#include "sysex/messages.h"

namespace tarn {
namespace {

constexpr uint8_t kErasedByte = 0xFF;

enum class ReadResult { kRead, kRefused, kTimedOut, kClosing, kPortGone };

// One ReadFlash of `length` bytes at `address` into `bytes`. Anything but a reply carrying
// exactly `length` good bytes is kRefused. The first read of a run may be answered by anything,
// for a device that cannot read back says so any way it likes; once reads have worked, only
// read-back data or a refusal answers one.
ReadResult ReadChunk(UpdateContext& context, uint32_t address, int32_t length, bool first,
                     std::vector<uint8_t>& bytes) {
  Request request({RequestKind::kReadFlash, address, !first},
                  ReadFlash(context.TransmitBuffer(), context.ModelByte(), address,
                            static_cast<uint32_t>(length)),
                  context.Times().blockWait);
  request.eachTry = [&context, length] { context.ReadBack().Start(length); };
  const Answer answer = Exchange(context, request);
  switch (answer.kind) {
    case AnswerKind::kClosing:
      return ReadResult::kClosing;
    case AnswerKind::kPortGone:
      return ReadResult::kPortGone;
    case AnswerKind::kTimedOut:
    case AnswerKind::kNotSent:
      return ReadResult::kTimedOut;
    case AnswerKind::kStatus:
      break;
  }
  if (answer.status != kStatusSuccess) return ReadResult::kRefused;
  bytes = context.ReadBack().Received();
  return bytes.size() == static_cast<size_t>(length) ? ReadResult::kRead : ReadResult::kRefused;
}

}  // namespace

AreaCheck AreaVerifier::Verify(const WrittenArea& area, int32_t step, int32_t stepCount) {
  const auto size = static_cast<int32_t>(area.bytes.size());
  m_step = step;
  m_stepCount = stepCount;
  // Nothing says "Verify" before the device has shown it can read back.
  if (m_anyRead) ShowArea(size);
  // An answer to the last write that is still on its way must not be taken for the run's first
  // read, which any answer may answer; what it says about the writes, the reading settles.
  if (!m_anyRead) AnswerCameUnasked(m_context);
  for (int32_t offset = 0; offset < size; offset += kBlockSize) {
    const int32_t length = std::min(kBlockSize, size - offset);
    const auto expected =
        area.bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
    const AreaCheck check =
        Block(area.address + static_cast<uint32_t>(offset), expected, offset, size);
    if (check != AreaCheck::kVerified) return check;
    m_context.Report(ProgressPositionEvent{offset + length});
  }
  return AreaCheck::kVerified;
}

AreaCheck AreaVerifier::Block(uint32_t address, std::span<const uint8_t> expected, int32_t offset,
                              int32_t areaSize) {
  const auto length = static_cast<int32_t>(expected.size());
  // Each write of a block that then reads back erased counts against the block's limit.
  for (int32_t writes = 1;; ++writes) {
    const AreaCheck read = Read(address, length, offset, areaSize);
    if (read != AreaCheck::kVerified) return read;
    if (std::equal(expected.begin(), expected.end(), m_bytes.begin(), m_bytes.end())) {
      return AreaCheck::kVerified;
    }
    const bool erased = std::all_of(m_bytes.begin(), m_bytes.end(),
                                    [](uint8_t byte) { return byte == kErasedByte; });
    if (!erased) return AreaCheck::kWrong;
    if (writes >= kBlockAttempts) {
      Fail(m_context, {ids::kTransferError, {}});
      return AreaCheck::kFailed;
    }
    if (TransmitBlock(m_context, address, expected, offset, areaSize) < 0) {
      return AreaCheck::kFailed;
    }
  }
}

// Reads one chunk into m_bytes, within the block limits. The run's very first read decides
// whether the device can read back at all.
AreaCheck AreaVerifier::Read(uint32_t address, int32_t length, int32_t offset, int32_t areaSize) {
  int32_t failures = 0;
  for (;;) {
    if (m_anyRead) m_context.Report(StatusEvent{{ids::kVerifying, {offset, areaSize}}});
    const ReadResult result = ReadChunk(m_context, address, length, !m_anyRead, m_bytes);
    switch (result) {
      case ReadResult::kRead:
        if (!m_anyRead) {
          m_anyRead = true;
          ShowArea(areaSize);
          m_context.Report(StatusEvent{{ids::kVerifying, {offset, areaSize}}});
        }
        return AreaCheck::kVerified;
      case ReadResult::kClosing:
        return AreaCheck::kFailed;
      case ReadResult::kPortGone:
        FailPortGone(m_context);
        return AreaCheck::kFailed;
      case ReadResult::kRefused:
      case ReadResult::kTimedOut:
        break;
    }
    // A stray answer still on its way may take the run's first read: a refusal there is asked
    // again once before the device is taken for one that cannot read back.
    if (!m_anyRead && (result == ReadResult::kTimedOut || failures > 0)) {
      return AreaCheck::kUnreadable;
    }
    if (++failures >= kBlockAttempts) {
      Fail(m_context, {result == ReadResult::kTimedOut ? ids::kTimeOut2 : ids::kTransferError, {}});
      return AreaCheck::kFailed;
    }
    if (!m_context.Pause(m_context.Times().retryPause)) return AreaCheck::kFailed;
  }
}

void AreaVerifier::ShowArea(int32_t areaSize) {
  m_context.Report(StepEvent{m_step, m_stepCount, true});
  m_context.Report(ProgressRangeEvent{0, areaSize});
}

}  // namespace tarn
