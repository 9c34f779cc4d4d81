// The stand-in image set never reaches a real device: with it, an update goes only to the
// in-process virtual device, unless the environment opts in (TARN_ALLOW_STAND_IN=1: the tests,
// the demo, the VM and the screenshots, which drive tarn-device-sim over real ports).
#pragma once

#include <cstdint>

#include "firmware/firmware_set.h"

namespace tarn {

inline constexpr char kAllowStandInVariable[] = "TARN_ALLOW_STAND_IN";

enum class StandInVerdict {
  kRealSet,        // not the stand-in set: any port
  kVirtualDevice,  // the stand-in set on the in-process virtual device
  kOptedIn,        // the stand-in set on other ports, as the environment allows
  kRefused,        // the stand-in set on other ports: nothing may be sent
};

// What may happen with `set` on the ports with these indices (as the last count numbered them;
// -1: none selected, which is no virtual device). Asks nothing of the devices.
StandInVerdict JudgeStandIn(const FirmwareSet& set, int32_t inputIndex, int32_t outputIndex);

// The one line the CLI prints when the environment lets the stand-in set go to other ports.
inline constexpr char kStandInOptInWarning[] =
    "Warning: TARN_ALLOW_STAND_IN=1: writing the stand-in image set to a device that is not the "
    "in-process virtual device (for tests only).";

}  // namespace tarn
