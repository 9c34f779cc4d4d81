#include "engine/transfer.h"

#include <algorithm>
#include <functional>

#include "engine/exchange.h"
#include "engine/failure.h"
#include "engine/flash_plan.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

constexpr int32_t kEraseProgressHigh = 10;
constexpr int32_t kEraseProgressSent = 1;

// Sends the write of `length` bytes in the transmit buffer until the device accepts it, within
// the block limits. `whileAnswered` runs once the write has gone out, while the device takes it
// in and answers.
int32_t SendBlock(UpdateContext& context, uint32_t address, int32_t length, int32_t offset,
                  int32_t total, const std::function<void()>& whileAnswered) {
  const RequestKey key{RequestKind::kWriteBlock, address};
  int32_t failures = 0;
  for (;;) {
    Request request(key, length, context.Times().blockWait);
    request.sent = [&] {
      context.Report(StatusEvent{{ids::kDataTransmit, {offset, total}}});
      if (whileAnswered) whileAnswered();
    };
    const Answer answer = Exchange(context, request);
    if (answer.kind == AnswerKind::kClosing) return -1;
    if (answer.kind == AnswerKind::kPortGone) {
      FailPortGone(context);
      return -1;
    }
    if (answer.kind == AnswerKind::kStatus && answer.status == kStatusSuccess) return 0;
    // Time-outs and refusals share one count; the kind of the last failure picks the text.
    if (++failures >= kBlockAttempts) {
      Fail(context,
           {answer.kind == AnswerKind::kTimedOut ? ids::kTimeOut2 : ids::kTransferError, {}});
      return -1;
    }
    ++context.ThisRun().blocksResent;
    if (!context.Pause(context.Times().retryPause)) return -1;
  }
}

}  // namespace

int32_t EraseArea(UpdateContext& context, uint32_t address, uint32_t size) {
  context.Report(ProgressRangeEvent{0, kEraseProgressHigh});
  const RequestKey key{RequestKind::kEraseFlash, address};
  int32_t failures = 0;
  for (;;) {
    Request request(key, EraseFlash(context.TransmitBuffer(), context.ModelByte(), address, size),
                    context.Times().eraseWait);
    request.sent = [&] {
      context.Report(ProgressPositionEvent{kEraseProgressSent});
      context.Report(StatusEvent{{ids::kErasing, {}}});
    };
    const Answer answer = Exchange(context, request);
    if (answer.kind == AnswerKind::kClosing) return -1;
    if (answer.kind == AnswerKind::kPortGone) {
      FailPortGone(context);
      return -1;
    }
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

int32_t TransmitBlock(UpdateContext& context, uint32_t address, std::span<const uint8_t> block,
                      int32_t offset, int32_t total) {
  const int32_t length = WriteBlock(context.TransmitBuffer(), context.ModelByte(), address,
                                    block.data(), static_cast<int32_t>(block.size()));
  return SendBlock(context, address, length, offset, total, {});
}

int32_t TransmitImage(UpdateContext& context, uint32_t address, uint32_t size, int32_t imageId) {
  const auto image = context.Images().Find(imageId);
  if (!image) {
    Fail(context, {ids::kImageMissing, {imageId}});
    return -1;
  }
  const auto total = static_cast<int32_t>(WriteLength(size, image->size()));
  context.Report(ProgressRangeEvent{0, total});
  const auto build = [&](uint8_t* buffer, int32_t offset) {
    const auto block = image->subspan(static_cast<size_t>(offset),
                                      static_cast<size_t>(std::min(kBlockSize, total - offset)));
    return WriteBlock(buffer, context.ModelByte(), address + static_cast<uint32_t>(offset),
                      block.data(), static_cast<int32_t>(block.size()));
  };
  int32_t length = total > 0 ? build(context.TransmitBuffer(), 0) : 0;
  for (int32_t offset = 0; offset < total;) {
    const int32_t next = std::min(offset + kBlockSize, total);
    int32_t nextLength = 0;
    // The next block is packed while the device takes this one in, so that packing it adds
    // nothing to the time between an answer and the next write.
    const auto buildNext = [&] {
      if (nextLength == 0 && next < total) nextLength = build(context.NextTransmitBuffer(), next);
    };
    if (SendBlock(context, address + static_cast<uint32_t>(offset), length, offset, total,
                  buildNext) < 0) {
      return -1;
    }
    offset = next;
    context.Report(ProgressPositionEvent{offset});
    buildNext();
    context.SwapTransmitBuffers();
    length = nextLength;
  }
  return 0;
}

}  // namespace tarn
