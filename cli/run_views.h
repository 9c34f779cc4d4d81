// What a run shows, chosen once from the options: JSON lines (--json); one progress board for
// several devices on a terminal; otherwise each device's own view (a line redrawn in place for
// one device on a terminal, plain lines elsewhere, errors only with --quiet). The run and its
// supervisor speak to this alone, whatever was chosen.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_view.h"
#include "cli/json_view.h"
#include "cli/progress_board.h"
#include "cli/terminal.h"

namespace tarn::cli {

// One device the command line names, or every connected device (--all).
enum class RunScope { kOneDevice, kEveryDevice };

struct ViewChoice {
  RunScope scope = RunScope::kOneDevice;
  bool json = false;
  bool quiet = false;
  TerminalStreams terminals;  // as they were when the program started
  size_t columns = 80;        // of the terminal on stdout
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

class RunViews {
 public:
  // `labels`: the devices' names in the run's order, as every device's lines name them.
  RunViews(const ViewChoice& choice, std::vector<std::string> labels,
           std::vector<uint64_t> stepBytes, Clock::time_point start);

  RunScope Scope() const { return m_choice.scope; }
  size_t DeviceCount() const { return m_labels.size(); }
  // The one that device `device`'s session reports to.
  UpdateObserver& Observer(size_t device);
  // The name the JSON objects of `device` carry, once its port is known.
  void NameDevice(size_t device, const std::string& name);

  // Before anything is sent: the image set the update writes.
  void Start(const FirmwareSet& set);
  // About ten times a second while the updates run.
  void Redraw(Clock::time_point now);
  // The updates have ended or been stopped: nothing more is drawn in place.
  void EndLine();
  // A message for the person at the terminal (the Ctrl-C warning): once on stderr, and in
  // every device's JSON lines.
  void Notice(const std::string& text);
  // As Notice, but said once in the whole run, however many updates say it.
  void NoticeOnce(const std::string& text);

  // Why `device` was never updated, as a JSON object of its own; its stderr line is the run's.
  void DeviceError(size_t device, const std::string& text, int exitCode);
  // How the update of `device` ended and the exit code it gives.
  void Outcome(size_t device, const UpdateOutcome& outcome, int exitCode);
  // An object of its own kind for `device`, e.g. the simulated device's flash summary; JSON only.
  void DeviceLine(size_t device, const std::string& event, const std::string& text);
  // JSON only: why the run as a whole updated nothing, and the last object of a run of several.
  void RunError(const std::string& text, int exitCode);
  void RunEnd(int exitCode);

 private:
  const ViewChoice m_choice;
  const std::vector<std::string> m_labels;
  std::mutex m_jsonMutex;  // every JSON object is written whole
  JsonView m_runJson;      // objects of no one device
  std::vector<std::unique_ptr<JsonView>> m_json;
  std::optional<ProgressBoard> m_board;
  std::vector<std::unique_ptr<CliView>> m_lines;
  std::once_flag m_noticeOnce;
};

}  // namespace tarn::cli
