// What start-up shows, in a box without owner, when no instance number could be claimed.
#pragma once

#include <string>

namespace tarn {

// The text for a failed claim (`claimResult` 0 or kNoInstanceLock, from ClaimInstanceNumber).
std::string InstanceRefusalText(int claimResult);

}  // namespace tarn
