// What the main thread asks of a run's display while it supervises the run, beyond the engine's
// events: the terminal view and the JSON lines both answer it.
#pragma once

#include <string>

#include "cli/progress_tracker.h"
#include "engine/update_events.h"
#include "firmware/firmware_set.h"

namespace tarn::cli {

class RunView : public UpdateObserver {
 public:
  // Before anything is sent: the image set the update writes, as its first line or object.
  virtual void Start(const FirmwareSet& set) = 0;
  // Called about ten times a second while the update runs.
  virtual void Redraw(Clock::time_point now) = 0;
  // The update has ended or is being stopped: nothing more is drawn in place.
  virtual void EndLine() = 0;
  // A message for the user (the Ctrl-C warning), kept apart from the progress.
  virtual void Notice(const std::string& text) = 0;
  // How the update ended and the exit code it gives.
  virtual void Outcome(const UpdateOutcome& outcome, int exitCode) = 0;
};

}  // namespace tarn::cli
