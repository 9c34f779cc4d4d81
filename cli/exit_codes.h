// What tarn-updater-cli tells its caller when it ends.
#pragma once

namespace tarn::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;  // also an unknown port, or none to pick
inline constexpr int kExitPortUnavailable = 3;
inline constexpr int kExitInterrupted = 130;

struct UpdateOutcome {
  bool completed = false;    // the status text reached "Version update completed."
  bool errorShown = false;   // the engine reported an error
  bool interrupted = false;  // stopped by the user before it ended
};

// Only a completed update without any error counts as success; an update that ended without
// any text (a failed boot read-back) is a failure.
int ExitCodeFor(const UpdateOutcome& outcome);

}  // namespace tarn::cli
