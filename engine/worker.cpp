#include "engine/worker.h"

#include <cstdio>

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

void Fail(UpdateContext& context, const std::string& text) {
  if (context.Closing()) return;
  context.View().ShowError(text);
  // The box may have stayed open while the owner closed.
  if (!context.Closing()) context.View().RestoreControls();
}

std::string StepText(int32_t step, int32_t count) {
  char text[32];
  std::snprintf(text, sizeof text, "%d/%d", step, count);
  return text;
}

}  // namespace tarn
