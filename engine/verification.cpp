#include "engine/verification.h"

#include <algorithm>
#include <numeric>
#include <vector>

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
  Request request({first ? RequestKey::Kind::kRead : RequestKey::Kind::kReadBack, address},
                  ReadFlash(context.TransmitBuffer.data(), context.ModelByte(), address,
                            static_cast<uint32_t>(length)),
                  context.Times().blockWait);
  request.prepare = [&context] {
    std::lock_guard lock(context.ReadMutex);
    context.ReadOffset = 0;
  };
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
  std::lock_guard lock(context.ReadMutex);
  if (context.ReadOffset != length) return ReadResult::kRefused;
  bytes.assign(context.ReadBuffer.begin(), context.ReadBuffer.begin() + length);
  return ReadResult::kRead;
}

class Verifier {
 public:
  Verifier(UpdateContext& context, int64_t total) : m_context(context), m_total(total) {}

  // 0 verified, 1 the device cannot read back, -1 failed or closing.
  int32_t Area(const WrittenArea& area) {
    const auto size = static_cast<int32_t>(area.bytes.size());
    for (int32_t offset = 0; offset < size; offset += kBlockSize) {
      const int32_t length = std::min(kBlockSize, size - offset);
      const auto expected =
          area.bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
      const int32_t result =
          Block(area.address + static_cast<uint32_t>(offset), expected, offset, size);
      if (result != 0) return result;
      m_verified += length;
      m_context.Report(ProgressPositionEvent{static_cast<int32_t>(m_verified)});
    }
    return 0;
  }

 private:
  int32_t Block(uint32_t address, std::span<const uint8_t> expected, int32_t offset,
                int32_t areaSize) {
    bool rewritten = false;
    for (;;) {
      const int32_t read = Read(address, static_cast<int32_t>(expected.size()));
      if (read != 0) return read;
      if (std::equal(expected.begin(), expected.end(), m_bytes.begin(), m_bytes.end())) return 0;
      const bool erased = std::all_of(m_bytes.begin(), m_bytes.end(),
                                      [](uint8_t byte) { return byte == kErasedByte; });
      // Erased where it was written: the block never got stored. Anything else is not ours to
      // mend.
      if (!erased || rewritten) {
        Fail(m_context, {ids::kTransferError, {}});
        return -1;
      }
      if (TransmitBlock(m_context, address, expected, offset, areaSize) < 0) return -1;
      rewritten = true;
    }
  }

  // Reads one chunk into m_bytes, within the block limits. The very first read decides
  // whether the device can read back at all.
  int32_t Read(uint32_t address, int32_t length) {
    int32_t failures = 0;
    for (;;) {
      m_context.Report(StatusEvent{
          {ids::kVerifying, {static_cast<int32_t>(m_verified), static_cast<int32_t>(m_total)}}});
      const ReadResult result = ReadChunk(m_context, address, length, !m_anyRead, m_bytes);
      switch (result) {
        case ReadResult::kRead:
          m_anyRead = true;
          return 0;
        case ReadResult::kClosing:
          return -1;
        case ReadResult::kPortGone:
          FailPortGone(m_context);
          return -1;
        case ReadResult::kRefused:
        case ReadResult::kTimedOut:
          break;
      }
      if (!m_anyRead) return 1;
      if (++failures >= kBlockAttempts) {
        Fail(m_context,
             {result == ReadResult::kTimedOut ? ids::kTimeOut2 : ids::kTransferError, {}});
        return -1;
      }
      if (!m_context.Pause(m_context.Times().retryPause)) return -1;
    }
  }

  UpdateContext& m_context;
  const int64_t m_total;
  int64_t m_verified = 0;
  bool m_anyRead = false;
  std::vector<uint8_t> m_bytes;
};

}  // namespace

int32_t VerifyWrittenFlash(UpdateContext& context, std::span<const WrittenArea> areas,
                           int32_t stepCount) {
  const int64_t total = std::accumulate(areas.begin(), areas.end(), int64_t{0},
                                        [](int64_t sum, const WrittenArea& area) {
                                          return sum + static_cast<int64_t>(area.bytes.size());
                                        });
  context.Report(StepEvent{stepCount, stepCount, true});
  context.Report(ProgressRangeEvent{0, static_cast<int32_t>(total)});
  // An answer to the last write that is still on its way must not be taken for the first
  // read's; what it says about the writes, the reading settles.
  AnswerCameUnasked(context);
  Verifier verifier(context, total);
  for (const WrittenArea& area : areas) {
    const int32_t result = verifier.Area(area);
    if (result < 0) return -1;
    if (result == 1) {
      context.ThisRun().verification = Verification::kNotPossible;
      return 0;
    }
  }
  context.ThisRun().verification = Verification::kVerified;
  return 0;
}

}  // namespace tarn
