#include "cli/all_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/display_text.h"
#include "cli/exit_codes.h"
#include "cli/run_supervisor.h"
#include "cli/run_views.h"
#include "cli/summary_table.h"
#include "midi/platform/platform.h"
#include "resources/string_table.h"
#include "session/device_pairs.h"
#include "session/lock_problem_text.h"
#include "session/stand_in_guard.h"
#include "session/update_session.h"

namespace tarn::cli {
namespace {

constexpr char kNoDevice[] = "tarn-updater-cli: no device found";

std::vector<DevicePair> FindDevices() {
  return FindDevicePairs(platform::InputPorts(), platform::OutputPorts());
}

// Two devices of one name (two cards both called "DAXO Tarn Series") get their ports added.
std::vector<std::string> Labels(const std::vector<DevicePair>& pairs) {
  std::vector<std::string> labels;
  for (const DevicePair& pair : pairs) {
    const bool shared = std::count_if(pairs.begin(), pairs.end(), [&pair](const DevicePair& other) {
                          return other.name == pair.name;
                        }) > 1;
    const std::string name = DisplayText(pair.name);
    labels.push_back(shared ? name + " [in " + std::to_string(pair.input) + ", out " +
                                  std::to_string(pair.output) + "]"
                            : name);
  }
  return labels;
}

std::string HeldText(const UpdateSession& session, const std::string& device) {
  if (std::string named = LockProblemText(session.LockFailure()); !named.empty()) return named;
  std::string text = LoadString(ids::kCantOpenMidiOut);
  if (!session.LockHolder().empty()) text += " " + device + " is held by " + session.LockHolder();
  return text;
}

}  // namespace

int ListDevicePairs() {
  const auto pairs = FindDevices();
  for (const DevicePair& pair : pairs)
    std::printf("in %2d  out %2d  %s\n", pair.input, pair.output, DisplayText(pair.name).c_str());
  if (pairs.empty()) std::fprintf(stderr, "%s\n", kNoDevice);
  return kExitCompleted;
}

int UpdateAllDevices(const CliOptions& options, const FirmwareSet& images, RunEvents& events,
                     const TerminalStreams& terminals) {
  const auto pairs = FindDevices();
  const Clock::time_point start = Clock::now();
  const std::vector<std::string> labels = Labels(pairs);
  const ViewChoice choice{RunScope::kEveryDevice, options.json, options.quiet, terminals,
                          TerminalColumns(stdout)};
  RunViews views(choice, labels, PlanStepBytes(images), start);
  if (pairs.empty()) {
    std::fprintf(stderr, "%s\n", kNoDevice);
    views.RunError(kNoDevice, kExitUsage);
    return kExitUsage;
  }
  // Before any port is opened, for every device: one refused refuses the run.
  bool optedIn = false;
  for (const DevicePair& pair : pairs) {
    const StandInVerdict verdict = JudgeStandIn(images, pair.input, pair.output);
    if (verdict == StandInVerdict::kRefused) {
      const std::string text = LoadString(ids::kStandInRefused);
      std::fprintf(stderr, "Error: %s\n", text.c_str());
      views.RunError(text, kExitStandInRefused);
      return kExitStandInRefused;
    }
    optedIn = optedIn || verdict == StandInVerdict::kOptedIn;
  }
  if (optedIn) std::fprintf(stderr, "%s\n", kStandInOptInWarning);
  views.Start(images);

  // Declared before the sessions, whose workers report to both until they are joined.
  RunSupervisor supervisor(events, views, terminals);
  std::vector<std::unique_ptr<UpdateSession>> sessions;
  for (size_t i = 0; i < pairs.size(); ++i) {
    auto& session =
        sessions.emplace_back(std::make_unique<UpdateSession>(images, views.Observer(i)));
    session->Context().SetVerify(options.verify);
    // The same for every device: said once, to the person at the terminal.
    if (terminals.err && !options.json)
      session->SetNotice([&views](const std::string& text) { views.NoticeOnce(text); });
  }

  // Opened one after another on this thread, in the numbering the device search took; set:
  // never started.
  std::vector<std::string> errors(pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    UpdateSession& session = *sessions[i];
    session.StartDispatcher();
    switch (session.OpenPorts(pairs[i].input, pairs[i].output)) {
      case UpdateSession::OpenResult::kOutputFailed:
        errors[i] = HeldText(session, labels[i]);
        break;
      case UpdateSession::OpenResult::kInputFailed:
        errors[i] = LoadString(ids::kCantOpenMidiIn);
        break;
      case UpdateSession::OpenResult::kOpened:
        break;
    }
  }
  if (supervisor.InterruptedBeforeStart()) return kExitInterrupted;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (errors[i].empty() && !supervisor.Start(i, *sessions[i]))
      errors[i] = LoadString(ids::kCantStartUpdate);
  }
  // Every failure to start is told at once, before the progress of the others.
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (errors[i].empty()) continue;
    std::fprintf(stderr, "%s: Error: %s\n", labels[i].c_str(), errors[i].c_str());
    views.DeviceError(i, errors[i], kExitPortUnavailable);
  }
  supervisor.Supervise();

  std::vector<int> codes;
  std::vector<SummaryRow> rows;
  for (size_t i = 0; i < pairs.size(); ++i) {
    const RunSupervisor::DeviceEnd& end = supervisor.End(i);
    const int code = end.started ? ExitCodeFor(end.outcome) : kExitPortUnavailable;
    codes.push_back(code);
    if (end.started) views.Outcome(i, end.outcome, code);
    const double seconds = end.started ? std::chrono::duration<double>(end.end - start).count() : 0;
    rows.push_back({labels[i], end.started ? OutcomeText(end.outcome) : errors[i], seconds,
                    end.started ? end.outcome.blocksResent : 0});
  }
  const int code = CombinedExitCode(codes);
  views.RunEnd(code);
  if (!options.json && !options.quiet) {
    std::printf("\n");
    for (const std::string& line : SummaryLines(rows))
      std::printf("%s\n", line.c_str());
  }
  return code;
}

}  // namespace tarn::cli
