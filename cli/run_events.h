// What the main thread waits for while an update runs: the end of the update (from the worker)
// and interrupts (from the signal watch).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "cli/interrupt_watch.h"
#include "engine/update_events.h"

namespace tarn::cli {

class RunEvents {
 public:
  struct State {
    int interrupts = 0;
    bool terminate = false;
    bool hungUp = false;
    bool ended = false;
    UpdateOutcome outcome;  // once ended
  };

  void Interrupt(InterruptKind kind);
  void Ended(const UpdateOutcome& outcome);
  // The state once something has happened, or after `timeout` anyway.
  State WaitFor(std::chrono::milliseconds timeout, const State& seen);
  State Current();

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  State m_state;
};

}  // namespace tarn::cli
