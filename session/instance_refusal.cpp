#include "session/instance_refusal.h"

#include "instance/instance_limit.h"
#include "resources/string_table.h"
#include "session/lock_problem_text.h"

namespace tarn {

std::string InstanceRefusalText(int claimResult, const LockProblem& problem) {
  // Twenty copies are not what stopped this one when it could not even look.
  if (claimResult == kNoInstanceLock) {
    const std::string named = LockProblemText(problem);
    return named.empty() ? FormatText({ids::kNoInstanceLock, {}}) : named;
  }
  return InstanceLimitMessage();
}

}  // namespace tarn
