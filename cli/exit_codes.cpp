#include "cli/exit_codes.h"

#include <algorithm>

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

int CombinedExitCode(const std::vector<int>& codes) {
  if (codes.empty()) return kExitUsage;
  const auto any = [&codes](auto test) { return std::any_of(codes.begin(), codes.end(), test); };
  if (any([](int code) { return code == kExitInterrupted; })) return kExitInterrupted;
  if (any([](int code) { return code != kExitCompleted && code != kExitNotVerified; })) {
    return kExitFailed;
  }
  if (any([](int code) { return code == kExitNotVerified; })) return kExitNotVerified;
  return kExitCompleted;
}

}  // namespace tarn::cli
