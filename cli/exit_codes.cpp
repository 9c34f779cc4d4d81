#include "cli/exit_codes.h"

namespace tarn::cli {

int ExitCodeFor(const UpdateOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kCompleted:
      return outcome.verification == Verification::kNotPossible ? kExitNotVerified : kExitCompleted;
    case OutcomeKind::kStopped:
      return kExitInterrupted;
    case OutcomeKind::kFailed:
    case OutcomeKind::kEndedWithoutText:
      break;
  }
  return kExitFailed;
}

}  // namespace tarn::cli
