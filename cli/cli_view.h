// The engine's view on a terminal or in a log: progress as one line redrawn in place (terminal)
// or one line per new status text or step (anything else), errors on stderr.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/progress_tracker.h"
#include "engine/update_view.h"

namespace tarn::cli {

struct ViewOutput {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool quiet = false;     // errors only
  bool terminal = false;  // redraw one line in place instead of writing lines
  size_t columns = 80;    // of the terminal
};

class CliView final : public UpdateView {
 public:
  // `ended` runs (on the worker thread) when the engine gives the controls back, which it does
  // at the end of every update that was not stopped from here.
  CliView(ViewOutput output, std::vector<uint64_t> stepBytes, std::function<void()> ended);

  void SetStatusText(const std::string& text) override;
  void SetStepText(const std::string& text) override;
  void SetProgressRange(int32_t low, int32_t high) override;
  void SetProgressPosition(int32_t position) override;
  // Prints "Error: <text>" and returns: nobody is there to dismiss a box.
  void ShowError(const std::string& text) override;
  void RestoreControls() override;
  void EnableExecute(bool enable) override;

  // Terminal only: redraws the line unless it was drawn less than 100 ms ago.
  void Redraw(Clock::time_point now);
  // Leaves the in-place line as it stands and moves to the next one.
  void EndLine();
  // A line on stderr that does not garble the progress line.
  void Notice(const std::string& text);

  UpdateOutcome Outcome() const;

 private:
  void DrawLocked(Clock::time_point now);
  void EndLineLocked();

  const ViewOutput m_output;
  const std::function<void()> m_ended;
  mutable std::mutex m_mutex;  // the state below and both streams
  ProgressTracker m_tracker;
  std::string m_step;
  std::string m_lastStatusLine;
  bool m_stepChanged = false;
  bool m_lineShown = false;
  bool m_everDrawn = false;
  Clock::time_point m_lastDraw{};
  UpdateOutcome m_outcome;
};

}  // namespace tarn::cli
