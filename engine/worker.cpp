#include "engine/worker.h"

#include <utility>

namespace tarn {

bool SendRequest(UpdateContext& context, int32_t length) {
  context.ResponseEvent.Reset();
  return context.SendSysEx(context.TransmitBuffer.data(), length) == 0;
}

Answer AwaitAnswer(UpdateContext& context, std::chrono::milliseconds timeout) {
  // Checked before waiting too: an abort may have set the event just before SendRequest
  // cleared it.
  if (context.Closing()) return {AnswerKind::kClosing, kStatusClosing};
  const bool answered = context.ResponseEvent.Wait(timeout);
  const int32_t status = context.ResponseStatus;
  if (context.Closing() || (answered && status == kStatusClosing)) {
    return {AnswerKind::kClosing, kStatusClosing};
  }
  if (!answered) return {AnswerKind::kTimedOut, 0};
  return {AnswerKind::kStatus, status};
}

void Fail(UpdateContext& context, TextRef text) {
  if (context.Closing()) return;
  context.ThisRun().failure = text;
  context.Report(FailureEvent{std::move(text)});
  // The box may have stayed open while the owner closed.
  if (!context.Closing()) context.Report(ControlsRestoredEvent{});
}

}  // namespace tarn
