#include "engine/update_sequence.h"

#include <algorithm>

#include "engine/exchange.h"
#include "engine/failure.h"
#include "engine/flash_plan.h"
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
  Request request{{RequestKind::kIdentityRequest},
                  IdentityRequest(context.TransmitBuffer()),
                  context.Times().answerWait};
  request.mustGoOut = true;
  const Answer answer = Exchange(context, request);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kNotSent || answer.kind == AnswerKind::kPortGone) {
    Fail(context, {ids::kCantOpenMidiOut, {}});
    return false;
  }
  if (answer.kind == AnswerKind::kTimedOut) {
    Fail(context, {ids::kTimeOut1, {}});
    return false;
  }
  if (answer.status != kStatusSuccess) {
    Fail(context, {ids::kIllegalDevice, {}});
    return false;
  }
  // Kept even when refused: later replies to the device carry its model byte.
  const Identity identity = context.DeviceIdentity();
  context.StoreIdentityCopy(identity);
  if (!IsAccepted(identity)) {
    Fail(context, {ids::kIllegalDevice, {}});
    return false;
  }
  context.StoreAcceptedIdentity(identity);
  // What came unasked so far (an earlier run's answers, say) is no matter for this run.
  context.ThisRun().unaskedBefore = context.Answers().Unasked();
  return true;
}

bool BeginFlashUpdate(UpdateContext& context) {
  Request request({RequestKind::kBeginUpdate},
                  BeginUpdate(context.TransmitBuffer(), context.ModelByte()),
                  context.Times().answerWait);
  request.sent = [&context] { context.Report(StatusEvent{{ids::kErasing, {}}}); };
  const Answer answer = Exchange(context, request);
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kPortGone) {
    FailPortGone(context);
    return false;
  }
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

// An answer that came unasked may have confirmed another request, leaving a block missing
// that the device refused. Flash read back and found right needs no such doubt; otherwise the
// update is not finished on it.
bool EveryAnswerPaired(UpdateContext& context) {
  if (context.ThisRun().verification == Verification::kVerified) return true;
  if (!AnswerCameUnasked(context)) return true;
  Fail(context, {ids::kTransferError, {}});
  return false;
}

// Any answer counts as success: the flash is already written.
bool FinishFlashUpdate(UpdateContext& context) {
  const Answer answer =
      Exchange(context, {{RequestKind::kFinishUpdate},
                         FinishUpdate(context.TransmitBuffer(), context.ModelByte()),
                         context.Times().answerWait});
  if (answer.kind == AnswerKind::kClosing) return false;
  if (answer.kind == AnswerKind::kPortGone) {
    FailPortGone(context);
    return false;
  }
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
         EveryAnswerPaired(context) && FinishFlashUpdate(context);
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
