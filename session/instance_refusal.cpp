#include "session/instance_refusal.h"

#include "instance/instance_limit.h"
#include "resources/string_table.h"

namespace tarn {

std::string InstanceRefusalText(int claimResult) {
  // Twenty copies are not what stopped this one when it could not even look.
  if (claimResult == kNoInstanceLock) return FormatText({ids::kNoInstanceLock, {}});
  return InstanceLimitMessage();
}

}  // namespace tarn
