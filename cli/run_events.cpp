#include "cli/run_events.h"

namespace tarn::cli {

void RunEvents::Interrupt(InterruptKind kind) {
  {
    std::lock_guard lock(m_mutex);
    switch (kind) {
      case InterruptKind::kInterrupt:
        ++m_state.interrupts;
        break;
      case InterruptKind::kTerminate:
        m_state.terminate = true;
        break;
      case InterruptKind::kHangUp:
        m_state.hungUp = true;
        break;
    }
  }
  m_changed.notify_all();
}

void RunEvents::Ended(const UpdateOutcome& outcome) {
  {
    std::lock_guard lock(m_mutex);
    m_state.ended = true;
    m_state.outcome = outcome;
  }
  m_changed.notify_all();
}

RunEvents::State RunEvents::WaitFor(std::chrono::milliseconds timeout, const State& seen) {
  std::unique_lock lock(m_mutex);
  m_changed.wait_for(lock, timeout, [&] {
    return m_state.interrupts != seen.interrupts || m_state.terminate != seen.terminate ||
           m_state.hungUp != seen.hungUp || m_state.ended != seen.ended;
  });
  return m_state;
}

RunEvents::State RunEvents::Current() {
  std::lock_guard lock(m_mutex);
  return m_state;
}

}  // namespace tarn::cli
