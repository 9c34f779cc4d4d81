#include "session/stand_in_guard.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "midi/platform/platform.h"

namespace tarn {
namespace {

bool InProcess(const std::optional<platform::PortIdentity>& port) {
  return port && port->inProcess;
}

bool OptedIn() {
  const char* value = std::getenv(kAllowStandInVariable);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

StandInVerdict JudgeStandIn(const FirmwareSet& set, int32_t inputIndex, int32_t outputIndex) {
  if (!set.IsStandIn()) return StandInVerdict::kRealSet;
  if (inputIndex >= 0 && outputIndex >= 0 &&
      InProcess(platform::InputPort(static_cast<size_t>(inputIndex))) &&
      InProcess(platform::OutputPort(static_cast<size_t>(outputIndex)))) {
    return StandInVerdict::kVirtualDevice;
  }
  return OptedIn() ? StandInVerdict::kOptedIn : StandInVerdict::kRefused;
}

}  // namespace tarn
