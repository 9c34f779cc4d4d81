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
    Fail(context, {ids::kCantOpenMidiOut, {}});
    return false;
  }
  const Answer answer = AwaitAnswer(context, context.Times().answerWait);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, {ids::kTimeOut1, {}});
    return false;
  }
  if (answer.status != kStatusSuccess) {
    Fail(context, {ids::kIllegalDevice, {}});
    return false;
  }
  // Kept even when refused: later replies to the device carry its model byte.
  const Identity identity = context.DeviceIdentity.Load();
  context.IdentityCopy.Store(identity);
  if (!IsAccepted(identity)) {
    Fail(context, {ids::kIllegalDevice, {}});
    return false;
  }
  context.AcceptedIdentity.Store(identity);
  return true;
}

bool BeginFlashUpdate(UpdateContext& context) {
  SendRequest(context, BeginUpdate(context.TransmitBuffer.data(), context.ModelByte()));
  context.Report(StatusEvent{{ids::kErasing, {}}});
  const Answer answer = AwaitAnswer(context, context.Times().answerWait);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, {ids::kTimeOut1, {}});
    return false;
  }
  context.Report(StatusEvent{});
  if (answer.status == kStatusNotInUpdateMode) {
    Fail(context, {ids::kUseUpdateMode, {}});
    return false;
  }
  if (answer.status != kStatusSuccess) {
    Fail(context, {ids::kTransferError, {}});
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
    Fail(context, {ids::kTransferError, {}});
    return false;
  }
  return true;
}

// False when the update must end here (already reported, or the owner is closing).
bool RunSteps(UpdateContext& context) {
  context.Report(StepEvent{0, kStepCount});
  return Identify(context) && BeginFlashUpdate(context) &&
         context.Pause(context.Times().beginPause) && RunFlashPlan(context) >= 0 &&
         FinishFlashUpdate(context);
}

UpdateOutcome OutcomeOf(UpdateContext& context, bool completed) {
  const RunRecord& run = context.ThisRun();
  UpdateOutcome outcome;
  outcome.blocksResent = run.blocksResent;
  outcome.verification = run.verification;
  // What was shown counts, even when the owner closed right after it.
  if (completed) {
    outcome.kind = OutcomeKind::kCompleted;
  } else if (run.failure) {
    outcome.kind = OutcomeKind::kFailed;
    outcome.failure = *run.failure;
  } else if (context.Closing()) {
    outcome.kind = OutcomeKind::kStopped;
  } else {
    outcome.kind = OutcomeKind::kEndedWithoutText;
  }
  return outcome;
}

}  // namespace

UpdateOutcome UpdateThreadProc(UpdateContext& context) {
  context.ThisRun() = {};
  const bool completed = RunSteps(context);
  if (completed) {
    context.Report(StatusEvent{{ids::kUpdateCompleted, {}}});
    context.Report(ControlsRestoredEvent{});
    // A new update needs a rescan first.
    context.Report(ExecuteEnabledEvent{false});
  }
  return OutcomeOf(context, completed);
}

}  // namespace tarn
