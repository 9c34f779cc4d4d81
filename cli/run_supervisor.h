// Sees the updates of one command line from their start to their end, on the main thread, for
// one device as for every device. The terminal may hang up: the updates go on, and what they
// print goes nowhere. The first Ctrl-C only warns; a second one, or a request to terminate,
// stops every update as closing the dialog does. The display is redrawn meanwhile.
#pragma once

#include <vector>

#include "cli/run_events.h"
#include "cli/run_views.h"
#include "session/update_session.h"

namespace tarn::cli {

class RunSupervisor {
 public:
  struct DeviceEnd {
    bool started = false;
    UpdateOutcome outcome;    // once started
    Clock::time_point end{};  // when it ended
  };

  // One update for each of the views' devices at the most.
  RunSupervisor(RunEvents& events, RunViews& views, TerminalStreams terminals);

  // Ctrl-C or a request to terminate came before anything was sent: the run ends at once,
  // without a second thought.
  bool InterruptedBeforeStart();
  // Starts the update of `device` on its session; false when it could not be started.
  bool Start(size_t device, UpdateSession& session);
  // Until every started update has ended or the user has stopped them all; every worker has
  // been joined on return. True when the user stopped them.
  bool Supervise();
  const DeviceEnd& End(size_t device) const { return m_ends.at(device); }

 private:
  RunEvents& m_events;
  RunViews& m_views;
  const TerminalStreams m_terminals;
  const bool m_several;
  std::vector<UpdateSession*> m_running;
  // Each entry is written by its update's worker before it ends, and read once it is joined.
  std::vector<DeviceEnd> m_ends;
};

}  // namespace tarn::cli
