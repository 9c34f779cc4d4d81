// The engine's view on a terminal or in a log: progress as one line redrawn in place (terminal)
// or one line per new status text or step (anything else), errors on stderr.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/progress_tracker.h"
#include "engine/update_events.h"
#include "firmware/firmware_set.h"

namespace tarn::cli {

struct ViewOutput {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool quiet = false;     // errors only
  bool terminal = false;  // redraw one line in place instead of writing lines
  size_t columns = 80;    // of the terminal
  std::string prefix;     // leads every line written: the device's name when there are several
};

class CliView final : public UpdateObserver {
 public:
  CliView(ViewOutput output, std::vector<uint64_t> stepBytes);

  // A failure prints "Error: <text>" and returns: nobody is there to dismiss a box.
  void OnEvent(const UpdateEvent& event) override;
  // "Firmware: ..." unless quiet.
  void Start(const FirmwareSet& set);

  // Terminal only: redraws the line unless it was drawn less than kRedrawInterval ago.
  void Redraw(Clock::time_point now);
  // Leaves the in-place line as it stands and moves to the next one.
  void EndLine();
  // A line on stderr that does not garble the progress line.
  void Notice(const std::string& text);

 private:
  void ShowStatusLocked(const std::string& text);
  void DrawLocked(Clock::time_point now);
  void EndLineLocked();

  const ViewOutput m_output;
  std::mutex m_mutex;  // the state below and both streams
  ProgressTracker m_tracker;
  std::string m_step;
  std::string m_lastStatusLine;
  bool m_stepChanged = false;
  bool m_lineShown = false;
  bool m_everDrawn = false;
  Clock::time_point m_lastDraw{};
};

}  // namespace tarn::cli
