// What start-up shows, in a box without owner, when no instance number could be claimed.
#pragma once

#include <string>

#include "instance/lock_problem.h"

namespace tarn {

// The text for a failed claim (`claimResult` 0 or kNoInstanceLock, from ClaimInstanceNumber,
// and the claim's problem()).
std::string InstanceRefusalText(int claimResult, const LockProblem& problem = {});

}  // namespace tarn
