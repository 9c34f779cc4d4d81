#include "cli/all_run.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "cli/cli_view.h"
#include "cli/display_text.h"
#include "cli/exit_codes.h"
#include "cli/firmware_info.h"
#include "cli/json_view.h"
#include "cli/progress_board.h"
#include "cli/summary_table.h"
#include "cli/terminal.h"
#include "midi/platform/platform.h"
#include "resources/string_table.h"
#include "session/device_pairs.h"
#include "session/lock_problem_text.h"
#include "session/stand_in_guard.h"
#include "session/update_session.h"

namespace tarn::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr char kNoDevice[] = "tarn-updater-cli: no device found";
constexpr char kStopWarning[] =
    "Stopping now leaves the devices without a valid firmware. Press Ctrl-C again to stop "
    "them all anyway.";
constexpr char kStopped[] = "Update stopped: nothing more was sent to the devices.";

std::vector<DevicePair> FindDevices() {
  return FindDevicePairs(platform::InputPorts(), platform::OutputPorts());
}

// One device of the run. Only the main thread touches it, but for the outcome and the end
// time, which its worker writes before it ends and the main thread reads after joining it.
struct Device {
  DevicePair pair;
  std::unique_ptr<RunView> view;  // JSON or plain lines; none on a terminal
  UpdateObserver* observer = nullptr;
  std::unique_ptr<UpdateSession> session;
  std::string openError;  // set: never started
  bool started = false;
  UpdateOutcome outcome;
  Clock::time_point end{};
};

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

int UpdateAllDevices(const CliOptions& options, const FirmwareSet& images, RunEvents& events) {
  const auto pairs = FindDevices();
  const Clock::time_point start = Clock::now();
  std::mutex jsonMutex;
  if (pairs.empty()) {
    std::fprintf(stderr, "%s\n", kNoDevice);
    if (options.json) JsonView(stdout, jsonMutex, start).Error(kNoDevice, kExitUsage);
    return kExitUsage;
  }
  // Before any port is opened, for every device: one refused refuses the run.
  bool optedIn = false;
  for (const DevicePair& pair : pairs) {
    const StandInVerdict verdict = JudgeStandIn(images, pair.input, pair.output);
    if (verdict == StandInVerdict::kRefused) {
      const std::string text = LoadString(ids::kStandInRefused);
      std::fprintf(stderr, "Error: %s\n", text.c_str());
      if (options.json) JsonView(stdout, jsonMutex, start).Error(text, kExitStandInRefused);
      return kExitStandInRefused;
    }
    optedIn = optedIn || verdict == StandInVerdict::kOptedIn;
  }
  if (optedIn) std::fprintf(stderr, "%s\n", kStandInOptInWarning);
  const std::vector<std::string> labels = Labels(pairs);
  const bool terminalOut = IsTerminal(stdout);
  const bool terminalErr = IsTerminal(stderr);
  std::optional<ProgressBoard> board;
  if (!options.json && !options.quiet && terminalOut) {
    // The board's own lines name the devices; the set is the same for all of them.
    std::printf("%s\n", SetLine(images).c_str());
    board.emplace(stdout, TerminalColumns(stdout), labels, PlanStepBytes(images));
  }

  std::once_flag keepAwakeNotice;
  std::vector<Device> devices(pairs.size());
  for (size_t i = 0; i < devices.size(); ++i) {
    Device& device = devices[i];
    device.pair = pairs[i];
    if (options.json) {
      auto json = std::make_unique<JsonView>(stdout, jsonMutex, start);
      json->SetDevice(labels[i]);
      device.view = std::move(json);
    } else if (!board) {
      ViewOutput output;
      output.quiet = options.quiet;
      output.prefix = labels[i] + ": ";
      device.view = std::make_unique<CliView>(output, PlanStepBytes(images));
    }
    if (device.view) device.view->Start(images);
    device.observer = board ? &board->Row(i) : device.view.get();
    device.session = std::make_unique<UpdateSession>(images, *device.observer);
    device.session->Context().SetVerify(options.verify);
    // The same for every device: said once, to the person at the terminal.
    if (terminalErr && !options.json)
      device.session->SetNotice([&, view = device.view.get()](const std::string& text) {
        std::call_once(keepAwakeNotice, [&] { board ? board->Notice(text) : view->Notice(text); });
      });
  }

  // Opened one after another on this thread, in the numbering the device search took.
  for (size_t i = 0; i < devices.size(); ++i) {
    Device& device = devices[i];
    device.session->StartDispatcher();
    switch (device.session->OpenPorts(device.pair.input, device.pair.output)) {
      case UpdateSession::OpenResult::kOutputFailed:
        device.openError = HeldText(*device.session, labels[i]);
        break;
      case UpdateSession::OpenResult::kInputFailed:
        device.openError = LoadString(ids::kCantOpenMidiIn);
        break;
      case UpdateSession::OpenResult::kOpened:
        break;
    }
  }
  const RunEvents::State before = events.Current();
  if (before.interrupts > 0 || before.terminate) return kExitInterrupted;
  int started = 0;
  for (Device& device : devices) {
    if (!device.openError.empty()) continue;
    device.started = device.session->StartUpdate([&device, &events](const UpdateOutcome& outcome) {
      device.outcome = outcome;
      device.end = Clock::now();
      events.Ended(outcome);
    });
    if (device.started) {
      ++started;
    } else {
      device.openError = LoadString(ids::kCantStartUpdate);
    }
  }
  // Every failure to start is told at once, before the progress of the others.
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].openError.empty()) continue;
    std::fprintf(stderr, "%s: Error: %s\n", labels[i].c_str(), devices[i].openError.c_str());
    if (auto* json = dynamic_cast<JsonView*>(devices[i].view.get()))
      json->Error(devices[i].openError, kExitPortUnavailable);
  }

  RunEvents::State seen = before;
  bool warned = false;
  bool stopped = false;
  bool silenced = false;
  while (started > 0) {
    // A dropped terminal or ssh session must not leave the devices half-written.
    if (seen.hungUp && !silenced) {
      if (terminalOut) SilenceStream(stdout);
      if (terminalErr) SilenceStream(stderr);
      silenced = true;
    }
    seen = events.WaitFor(kRedrawInterval, seen);
    if (seen.endings >= started) break;
    if (seen.terminate || seen.interrupts >= 2) {
      // As closing every dialog at once.
      for (Device& device : devices)
        device.session->RequestStop();
      stopped = true;
      break;
    }
    if (seen.interrupts == 1 && !warned) {
      warned = true;
      if (board) {
        board->Notice(kStopWarning);
      } else {
        for (Device& device : devices) {
          device.view->Notice(kStopWarning);
          if (!options.json) break;  // once on stderr, but in every device's JSON lines
        }
      }
    }
    if (board) board->Redraw(Clock::now());
  }
  for (Device& device : devices)
    device.session->WaitForWorker();
  if (board) board->End();
  if (stopped) std::fprintf(stderr, "%s\n", kStopped);

  std::vector<int> codes;
  std::vector<SummaryRow> rows;
  for (size_t i = 0; i < devices.size(); ++i) {
    Device& device = devices[i];
    const int code = device.started ? ExitCodeFor(device.outcome) : kExitPortUnavailable;
    codes.push_back(code);
    if (device.started && device.view) device.view->Outcome(device.outcome, code);
    const double seconds =
        device.started ? std::chrono::duration<double>(device.end - start).count() : 0;
    rows.push_back({labels[i], device.started ? OutcomeText(device.outcome) : device.openError,
                    seconds, device.started ? device.outcome.blocksResent : 0});
  }
  const int code = CombinedExitCode(codes);
  if (options.json) {
    JsonView(stdout, jsonMutex, start).End(code);
  } else if (!options.quiet) {
    std::printf("\n");
    for (const std::string& line : SummaryLines(rows))
      std::printf("%s\n", line.c_str());
  }
  return code;
}

}  // namespace tarn::cli
