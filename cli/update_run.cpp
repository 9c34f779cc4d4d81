#include "cli/update_run.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "cli/all_run.h"
#include "cli/cli_view.h"
#include "cli/display_text.h"
#include "cli/exit_codes.h"
#include "cli/firmware_info.h"
#include "cli/json_view.h"
#include "cli/port_choice.h"
#include "cli/run_events.h"
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

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

constexpr char kStopWarning[] =
    "Stopping now leaves the device without a valid firmware. Press Ctrl-C again to stop "
    "anyway.";
constexpr char kStopped[] = "Update stopped: nothing more was sent to the device.";

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

// The standard streams that were terminals when the program started: once the terminal hangs
// up they can no longer be asked.
struct TerminalStreams {
  bool out = false;
  bool err = false;
};

// Runs the update that has been started until it ends or the user stops it.
int Supervise(UpdateSession& session, RunView& view, RunEvents& events,
              const TerminalStreams& terminals) {
  RunEvents::State seen = events.Current();
  bool warned = false;
  bool silenced = false;
  for (;;) {
    // A dropped terminal or ssh session must not leave a device half-written.
    if (seen.hungUp && !silenced) {
      if (terminals.out) SilenceStream(stdout);
      if (terminals.err) SilenceStream(stderr);
      silenced = true;
    }
    seen = events.WaitFor(kRedrawInterval, seen);
    // An update that has ended keeps its outcome, whatever came in meanwhile.
    if (seen.ended) break;
    if (seen.terminate || seen.interrupts >= 2) {
      view.EndLine();
      // As closing the dialog: status 255, ports closed, nothing more goes out.
      session.RequestStop();
      session.WaitForWorker();
      const RunEvents::State last = events.Current();
      // It may have ended by itself just before the stop; then its own outcome stands.
      if (last.ended && last.outcome.kind != OutcomeKind::kStopped) {
        view.Outcome(last.outcome, ExitCodeFor(last.outcome));
        return ExitCodeFor(last.outcome);
      }
      std::fprintf(stderr, "%s\n", kStopped);
      view.Outcome(UpdateOutcome{}, kExitInterrupted);
      return kExitInterrupted;
    }
    if (seen.interrupts == 1 && !warned) {
      view.Notice(kStopWarning);
      warned = true;
    }
    view.Redraw(Clock::now());
  }
  // Past its last event; it may still be returning.
  session.WaitForWorker();
  view.EndLine();
  if (seen.outcome.verification == Verification::kNotPossible)
    view.Notice(LoadString(ids::kNotVerified));
  view.Outcome(seen.outcome, ExitCodeFor(seen.outcome));
  return ExitCodeFor(seen.outcome);
}

int RunUpdate(const CliOptions& options, const FirmwareSet& images, UpdateSession& session,
              RunView& view, JsonView* json, RunEvents& events, const TerminalStreams& terminals) {
  const PortChoice input = ChoosePort(PortDirection::kIn, options.inPort, session.InputNames());
  const PortChoice output = ChoosePort(PortDirection::kOut, options.outPort, session.OutputNames());
  for (const PortChoice* choice : {&input, &output}) {
    if (choice->error.empty()) continue;
    PrintError(choice->error);
    return kExitUsage;
  }

  if (json) json->SetDevice(session.OutputNames().at(static_cast<size_t>(output.index)));
  // Before any port is opened: the device is not even asked who it is.
  switch (JudgeStandIn(images, input.index, output.index)) {
    case StandInVerdict::kRefused:
      PrintError(LoadString(ids::kStandInRefused));
      if (json) json->Error(LoadString(ids::kStandInRefused), kExitStandInRefused);
      return kExitStandInRefused;
    case StandInVerdict::kOptedIn:
      std::fprintf(stderr, "%s\n", kStandInOptInWarning);
      break;
    case StandInVerdict::kRealSet:
    case StandInVerdict::kVirtualDevice:
      break;
  }
  view.Start(images);
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
      if (json) json->Error(text, kExitPortUnavailable);
      return kExitPortUnavailable;
    }
    case UpdateSession::OpenResult::kInputFailed:
      PrintError(LoadString(ids::kCantOpenMidiIn));
      if (json) json->Error(LoadString(ids::kCantOpenMidiIn), kExitPortUnavailable);
      return kExitPortUnavailable;
    case UpdateSession::OpenResult::kOpened:
      break;
  }
  // Nothing has been sent yet: an interrupt so far needs no second thought.
  const RunEvents::State before = events.Current();
  if (before.interrupts > 0 || before.terminate) return kExitInterrupted;
  if (!session.StartUpdate([&events](const UpdateOutcome& outcome) { events.Ended(outcome); })) {
    PrintError(LoadString(ids::kCantStartUpdate));
    return kExitFailed;
  }
  return Supervise(session, view, events, terminals);
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

  if (options.all) {
    const int code = options.list ? ListDevicePairs() : UpdateAllDevices(options, images, events);
    if (simulated && !options.list && !options.quiet && !options.json)
      std::printf("Simulated device: %s\n", simulated->FlashSummary().c_str());
    return code;
  }

  ViewOutput output;
  output.quiet = options.quiet;
  output.terminal = IsTerminal(stdout);
  const TerminalStreams terminals{output.terminal, IsTerminal(stderr)};
  output.columns = TerminalColumns(stdout);
  std::mutex jsonMutex;
  std::optional<JsonView> json;
  std::optional<CliView> cliView;
  if (options.json) {
    json.emplace(stdout, jsonMutex, Clock::now());
  } else {
    cliView.emplace(output, PlanStepBytes(images));
  }
  RunView& view = json ? static_cast<RunView&>(*json) : *cliView;
  int code = kExitCompleted;
  {
    UpdateSession session(images, view);
    session.Context().SetVerify(options.verify);
    // For the person at the terminal; scripts reading the output get no line they do not know.
    if (terminals.err && !json)
      session.SetNotice([&view](const std::string& text) { view.Notice(text); });
    if (trace) {
      session.SetTrace(
          [log = trace.get()](TraceDirection direction, std::span<const uint8_t> bytes) {
            log->Write(direction, bytes);
          });
    }
    code = options.list ? ListPorts(session)
                        : RunUpdate(options, images, session, view, json ? &*json : nullptr, events,
                                    terminals);
  }
  std::string error;
  if (trace && !trace->Close(&error)) std::fprintf(stderr, "tarn-updater-cli: %s\n", error.c_str());
  if (simulated && !options.list && json) {
    json->Line("simulated_device", simulated->FlashSummary());
  } else if (simulated && !options.list && !options.quiet) {
    std::printf("Simulated device: %s\n", simulated->FlashSummary().c_str());
  }
  return code;
}

}  // namespace tarn::cli
