#include "cli/run_supervisor.h"

#include <algorithm>
#include <cstdio>

namespace tarn::cli {
namespace {

struct StopTexts {
  const char* warning;
  const char* stopped;
};

constexpr StopTexts kOneDevice{
    "Stopping now leaves the device without a valid firmware. Press Ctrl-C again to stop "
    "anyway.",
    "Update stopped: nothing more was sent to the device."};
constexpr StopTexts kEveryDevice{
    "Stopping now leaves the devices without a valid firmware. Press Ctrl-C again to stop "
    "them all anyway.",
    "Update stopped: nothing more was sent to the devices."};

}  // namespace

RunSupervisor::RunSupervisor(RunEvents& events, RunViews& views, TerminalStreams terminals)
    : m_events(events),
      m_views(views),
      m_terminals(terminals),
      m_several(views.Scope() == RunScope::kEveryDevice),
      m_ends(views.DeviceCount()) {}

bool RunSupervisor::InterruptedBeforeStart() {
  const RunEvents::State now = m_events.Current();
  return now.interrupts > 0 || now.terminate;
}

bool RunSupervisor::Start(size_t device, UpdateSession& session) {
  DeviceEnd& end = m_ends.at(device);
  end.started = session.StartUpdate([&end, this](const UpdateOutcome& outcome) {
    end.outcome = outcome;
    end.end = Clock::now();
    m_events.Ended(outcome);
  });
  if (end.started) m_running.push_back(&session);
  return end.started;
}

bool RunSupervisor::Supervise() {
  const StopTexts& texts = m_several ? kEveryDevice : kOneDevice;
  RunEvents::State seen = m_events.Current();
  bool warned = false;
  bool silenced = false;
  bool stopped = false;
  while (!m_running.empty()) {
    // A dropped terminal or ssh session must not leave a device half-written.
    if (seen.hungUp && !silenced) {
      if (m_terminals.out) SilenceStream(stdout);
      if (m_terminals.err) SilenceStream(stderr);
      silenced = true;
    }
    seen = m_events.WaitFor(kRedrawInterval, seen);
    // An update that has ended keeps its outcome, whatever came in meanwhile.
    if (seen.endings >= static_cast<int>(m_running.size())) break;
    if (seen.terminate || seen.interrupts >= 2) {
      // As closing the dialog: status 255, ports closed, nothing more goes out.
      for (UpdateSession* session : m_running)
        session->RequestStop();
      stopped = true;
      break;
    }
    if (seen.interrupts == 1 && !warned) {
      m_views.Notice(texts.warning);
      warned = true;
    }
    m_views.Redraw(Clock::now());
  }
  // Past its last event, each may still be returning.
  for (UpdateSession* session : m_running)
    session->WaitForWorker();
  m_views.EndLine();
  // One that ended by itself just before the stop keeps its own outcome.
  stopped = stopped && std::any_of(m_ends.begin(), m_ends.end(), [](const DeviceEnd& end) {
              return end.started && end.outcome.kind == OutcomeKind::kStopped;
            });
  if (stopped) std::fprintf(stderr, "%s\n", texts.stopped);
  return stopped;
}

}  // namespace tarn::cli
