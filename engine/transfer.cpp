#include "engine/transfer.h"

#include <algorithm>

#include "engine/flash_plan.h"
#include "engine/worker.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

constexpr int32_t kEraseProgressHigh = 10;
constexpr int32_t kEraseProgressSent = 1;

}  // namespace

int32_t EraseArea(UpdateContext& context, uint32_t address, uint32_t size) {
  context.Report(ProgressRangeEvent{0, kEraseProgressHigh});
  int32_t failures = 0;
  for (;;) {
    SendRequest(context,
                EraseFlash(context.TransmitBuffer.data(), context.ModelByte(), address, size));
    context.Report(ProgressPositionEvent{kEraseProgressSent});
    context.Report(StatusEvent{{ids::kErasing, {}}});
    const Answer answer = AwaitAnswer(context, context.Times().eraseWait);
    if (answer.kind == AnswerKind::kClosing) return -1;
    // An erase that takes longer than its wait is not retried: the device is gone or stuck.
    if (answer.kind == AnswerKind::kTimedOut) {
      Fail(context, {ids::kTimeOut3, {}});
      return -1;
    }
    if (answer.status == kStatusSuccess) {
      context.Report(ProgressPositionEvent{kEraseProgressHigh});
      return 0;
    }
    if (++failures >= kEraseAttempts) {
      Fail(context, {ids::kTransferError, {}});
      return -1;
    }
    if (!context.Pause(context.Times().retryPause)) return -1;
  }
}

int32_t TransmitImage(UpdateContext& context, uint32_t address, uint32_t size, int32_t imageId) {
  const auto image = context.Images().Find(imageId);
  if (!image) {
    Fail(context, {ids::kImageMissing, {imageId}});
    return -1;
  }
  const auto total = static_cast<int32_t>(WriteLength(size, image->size()));
  context.Report(ProgressRangeEvent{0, total});
  int32_t offset = 0;
  int32_t failures = 0;
  while (offset < total) {
    const int32_t blockLength = std::min(kBlockSize, total - offset);
    SendRequest(context, WriteBlock(context.TransmitBuffer.data(), context.ModelByte(),
                                    address + static_cast<uint32_t>(offset), image->data() + offset,
                                    blockLength));
    context.Report(StatusEvent{{ids::kDataTransmit, {offset, total}}});
    const Answer answer = AwaitAnswer(context, context.Times().blockWait);
    if (answer.kind == AnswerKind::kClosing) return -1;
    if (answer.kind == AnswerKind::kStatus && answer.status == kStatusSuccess) {
      failures = 0;
      offset += blockLength;
      context.Report(ProgressPositionEvent{offset});
      continue;
    }
    // Time-outs and refusals share one count; the kind of the last failure picks the text.
    if (++failures >= kBlockAttempts) {
      Fail(context,
           {answer.kind == AnswerKind::kTimedOut ? ids::kTimeOut2 : ids::kTransferError, {}});
      return -1;
    }
    ++context.ThisRun().blocksResent;
    if (!context.Pause(context.Times().retryPause)) return -1;
  }
  return 0;
}

}  // namespace tarn
