// What tarn-updater-cli tells its caller when it ends.
#pragma once

#include <vector>

#include "engine/update_events.h"

namespace tarn::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;  // also an unknown port, or none to pick
inline constexpr int kExitPortUnavailable = 3;
inline constexpr int kExitNotVerified = 4;  // completed, but the device cannot read back
// The stand-in image set and a port that is not the in-process virtual device: nothing sent.
inline constexpr int kExitStandInRefused = 5;
inline constexpr int kExitInterrupted = 130;

// Only a completed update counts as success; an update that ended without any text (a failed
// boot read-back) is a failure, and one stopped by the user is an interruption.
int ExitCodeFor(const UpdateOutcome& outcome);

// The exit code of an update of several devices, from each device's own: none found is a usage
// error; then a stop by the user, then any failure (an unopened device too), then an
// unverified update decide; 0 only when every device completed.
int CombinedExitCode(const std::vector<int>& codes);

}  // namespace tarn::cli
