#include "engine/update_sequence.h"

#include <algorithm>

#include "engine/flash_plan.h"
#include "engine/worker.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

constexpr int32_t kStepCount = static_cast<int32_t>(FlashPlan.size());

bool IsAccepted(const Identity& identity) {
  return std::find(AcceptedIdentities.begin(), AcceptedIdentities.end(), identity) !=
         AcceptedIdentities.end();
}

// Identifies the device and checks it against the accepted identities. False when the update
// must end (already reported, or the owner is closing).
bool Identify(UpdateContext& context) {
  const int32_t length = IdentityRequest(context.TransmitBuffer.data());
  if (!SendRequest(context, length)) {
    Fail(context, LoadString(ids::kCantOpenMidiOut));
    return false;
  }
  const Answer answer = AwaitAnswer(context, context.Times().answerWait);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, LoadString(ids::kTimeOut1));
    return false;
  }
  if (answer.status != kStatusSuccess) {
    Fail(context, LoadString(ids::kIllegalDevice));
    return false;
  }
  // Kept even when refused: later replies to the device carry its model byte.
  const Identity identity = context.DeviceIdentity.Load();
  context.IdentityCopy.Store(identity);
  if (!IsAccepted(identity)) {
    Fail(context, LoadString(ids::kIllegalDevice));
    return false;
  }
  context.AcceptedIdentity.Store(identity);
  return true;
}

bool BeginFlashUpdate(UpdateContext& context) {
  SendRequest(context, BeginUpdate(context.TransmitBuffer.data(), context.ModelByte()));
  context.View().SetStatusText(LoadString(ids::kErasing));
  const Answer answer = AwaitAnswer(context, context.Times().answerWait);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, LoadString(ids::kTimeOut1));
    return false;
  }
  context.View().SetStatusText("");
  if (answer.status == kStatusNotInUpdateMode) {
    Fail(context, LoadString(ids::kUseUpdateMode));
    return false;
  }
  if (answer.status != kStatusSuccess) {
    Fail(context, LoadString(ids::kTransferError));
    return false;
  }
  return true;
}

// Any answer counts as success: the flash is already written.
bool FinishFlashUpdate(UpdateContext& context) {
  SendRequest(context, FinishUpdate(context.TransmitBuffer.data(), context.ModelByte()));
  const Answer answer = AwaitAnswer(context, context.Times().answerWait);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, LoadString(ids::kTransferError));
    return false;
  }
  return true;
}

void RunUpdate(UpdateContext& context) {
  context.View().SetStepText(StepText(0, kStepCount));
  if (!Identify(context)) return;
  if (!BeginFlashUpdate(context)) return;
  if (!context.Pause(context.Times().beginPause)) return;
  if (RunFlashPlan(context) < 0) return;
  if (!FinishFlashUpdate(context)) return;
  UpdateView& view = context.View();
  view.SetStatusText(LoadString(ids::kUpdateCompleted));
  view.RestoreControls();
  // A new update needs a rescan first.
  view.EnableExecute(false);
}

}  // namespace

uint32_t UpdateThreadProc(UpdateContext& context) {
  RunUpdate(context);
  return 0;
}

}  // namespace tarn
