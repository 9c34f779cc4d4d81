#include "cli/exit_codes.h"

namespace tarn::cli {

int ExitCodeFor(const UpdateOutcome& outcome) {
  if (outcome.interrupted) return kExitInterrupted;
  if (outcome.completed && !outcome.errorShown) return kExitCompleted;
  return kExitFailed;
}

}  // namespace tarn::cli
