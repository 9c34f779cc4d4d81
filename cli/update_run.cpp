#include "cli/update_run.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "cli/all_run.h"
#include "cli/display_text.h"
#include "cli/exit_codes.h"
#include "cli/firmware_info.h"
#include "cli/json_view.h"
#include "cli/port_choice.h"
#include "cli/run_events.h"
#include "cli/run_supervisor.h"
#include "cli/run_views.h"
#include "cli/simulated_device.h"
#include "cli/terminal.h"
#include "cli/trace_log.h"
#include "firmware/embedded_images.h"
#include "firmware/set_loader.h"
#include "resources/string_table.h"
#include "session/lock_problem_text.h"
#include "session/stand_in_guard.h"
#include "session/update_session.h"

namespace tarn::cli {
namespace {

void PrintError(const std::string& text) {
  // Texts that name a port carry the system's bytes.
  std::fprintf(stderr, "Error: %s\n", DisplayText(text).c_str());
}

int ListPorts(UpdateSession& session) {
  const auto inputs = session.InputNames();
  const auto outputs = session.OutputNames();
  for (const std::string& line : PortListLines(inputs, outputs))
    std::printf("%s\n", DisplayText(line).c_str());
  if (inputs.empty()) std::fprintf(stderr, "tarn-updater-cli: no MIDI IN ports found\n");
  if (outputs.empty()) std::fprintf(stderr, "tarn-updater-cli: no MIDI OUT ports found\n");
  return kExitCompleted;
}

int RunUpdate(const CliOptions& options, const FirmwareSet& images, UpdateSession& session,
              RunViews& views, RunEvents& events, const TerminalStreams& terminals) {
  // Listed once: the session opens what this list named, and a second count could differ.
  const std::vector<std::string> outputs = session.OutputNames();
  const PortChoice input = ChoosePort(PortDirection::kIn, options.inPort, session.InputNames());
  const PortChoice output = ChoosePort(PortDirection::kOut, options.outPort, outputs);
  for (const PortChoice* choice : {&input, &output}) {
    if (choice->error.empty()) continue;
    PrintError(choice->error);
    return kExitUsage;
  }

  views.NameDevice(0, outputs.at(static_cast<size_t>(output.index)));
  // Before any port is opened: the device is not even asked who it is.
  switch (JudgeStandIn(images, input.index, output.index)) {
    case StandInVerdict::kRefused:
      PrintError(LoadString(ids::kStandInRefused));
      views.DeviceError(0, LoadString(ids::kStandInRefused), kExitStandInRefused);
      return kExitStandInRefused;
    case StandInVerdict::kOptedIn:
      std::fprintf(stderr, "%s\n", kStandInOptInWarning);
      break;
    case StandInVerdict::kRealSet:
    case StandInVerdict::kVirtualDevice:
      break;
  }
  views.Start(images);
  session.StartDispatcher();
  switch (session.OpenPorts(input.index, output.index)) {
    case UpdateSession::OpenResult::kOutputFailed: {
      // A lock file or folder in the way is named with its fix; held by another updater, say
      // by whom, so that the user knows what to close.
      std::string text = LockProblemText(session.LockFailure());
      if (text.empty()) {
        text = LoadString(ids::kCantOpenMidiOut);
        if (!session.LockHolder().empty())
          text += " The device is held by " + session.LockHolder() + ".";
      }
      PrintError(text);
      views.DeviceError(0, text, kExitPortUnavailable);
      return kExitPortUnavailable;
    }
    case UpdateSession::OpenResult::kInputFailed:
      PrintError(LoadString(ids::kCantOpenMidiIn));
      views.DeviceError(0, LoadString(ids::kCantOpenMidiIn), kExitPortUnavailable);
      return kExitPortUnavailable;
    case UpdateSession::OpenResult::kOpened:
      break;
  }
  RunSupervisor supervisor(events, views, terminals);
  if (supervisor.InterruptedBeforeStart()) return kExitInterrupted;
  if (!supervisor.Start(0, session)) {
    PrintError(LoadString(ids::kCantStartUpdate));
    return kExitFailed;
  }
  // A stopped update is said to be stopped, nothing more.
  if (supervisor.Supervise()) {
    views.Outcome(0, UpdateOutcome{}, kExitInterrupted);
    return kExitInterrupted;
  }
  const UpdateOutcome& outcome = supervisor.End(0).outcome;
  if (outcome.verification == Verification::kNotPossible)
    views.Notice(LoadString(ids::kNotVerified));
  views.Outcome(0, outcome, ExitCodeFor(outcome));
  return ExitCodeFor(outcome);
}

// The set an update writes: the built-in one, or the one --firmware names, checked whole.
// Nothing, with the reason printed, when that one cannot be used.
const FirmwareSet* ChooseSet(const CliOptions& options, std::unique_ptr<FirmwareSet>& loaded) {
  if (!options.firmwarePath) return &EmbeddedImages();
  LoadedSet result = LoadFirmwareSet(*options.firmwarePath);
  if (!result.set) {
    PrintError(result.error);
    if (options.json) {
      std::mutex mutex;
      JsonView(stdout, mutex, Clock::now()).Error(result.error, kExitUsage);
    }
    return nullptr;
  }
  loaded = std::move(result.set);
  return loaded.get();
}

int PrintFirmwareInfo(const FirmwareSet& set, bool json) {
  if (json) {
    std::printf("%s\n", SetJson(set, true).dump().c_str());
  } else {
    for (const std::string& line : FirmwareInfoLines(set))
      std::printf("%s\n", line.c_str());
  }
  return kExitCompleted;
}

}  // namespace

int RunCommandLine(const CliOptions& options) {
  // First of all: a set that cannot be used ends the run before any port is opened.
  std::unique_ptr<FirmwareSet> loaded;
  const FirmwareSet* set = ChooseSet(options, loaded);
  if (set == nullptr) return kExitUsage;
  if (options.firmwareInfo) return PrintFirmwareInfo(*set, options.json);
  const FirmwareSet& images = *set;
  RunEvents events;
  // First: every thread started from here on leaves the signals to the watch.
  InterruptWatch watch([&events](InterruptKind kind) { events.Interrupt(kind); });
  std::optional<SimulatedDevice> simulated;
  if (options.simulate) simulated.emplace(options.simulateRate, images);

  // Before the session, which hands it messages until it is destroyed.
  std::unique_ptr<TraceLog> trace;
  if (options.tracePath && !options.list) {
    std::string error;
    trace = TraceLog::Create(*options.tracePath, "# " + SetLine(images), &error);
    if (!trace) {
      PrintError(error);
      return kExitUsage;
    }
  }

  // Before a hang-up, after which they can no longer be asked.
  const TerminalStreams terminals = StandardTerminals();
  if (options.all) {
    const int code =
        options.list ? ListDevicePairs() : UpdateAllDevices(options, images, events, terminals);
    if (simulated && !options.list && !options.quiet && !options.json)
      std::printf("Simulated device: %s\n", simulated->FlashSummary().c_str());
    return code;
  }

  const ViewChoice choice{RunScope::kOneDevice, options.json, options.quiet, terminals,
                          TerminalColumns(stdout)};
  // Its device is named once its port is known.
  RunViews views(choice, {std::string()}, PlanStepBytes(images), Clock::now());
  int code = kExitCompleted;
  {
    UpdateSession session(images, views.Observer(0));
    session.Context().SetVerify(options.verify);
    // For the person at the terminal; scripts reading the output get no line they do not know.
    if (terminals.err && !options.json)
      session.SetNotice([&views](const std::string& text) { views.NoticeOnce(text); });
    if (trace) {
      session.SetTrace(
          [log = trace.get()](TraceDirection direction, std::span<const uint8_t> bytes) {
            log->Write(direction, bytes);
          });
    }
    code = options.list ? ListPorts(session)
                        : RunUpdate(options, images, session, views, events, terminals);
  }
  std::string error;
  if (trace && !trace->Close(&error)) std::fprintf(stderr, "tarn-updater-cli: %s\n", error.c_str());
  if (simulated && !options.list && options.json) {
    views.DeviceLine(0, "simulated_device", simulated->FlashSummary());
  } else if (simulated && !options.list && !options.quiet) {
    std::printf("Simulated device: %s\n", simulated->FlashSummary().c_str());
  }
  return code;
}

}  // namespace tarn::cli
