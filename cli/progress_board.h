// The terminal display of an update of several devices: one progress line per device, all
// redrawn in place together, each led by the device's name.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/progress_tracker.h"
#include "engine/update_events.h"

namespace tarn::cli {

class ProgressBoard {
 public:
  // Notices go to `err`.
  ProgressBoard(std::FILE* out, std::FILE* err, size_t columns, std::vector<std::string> labels,
                const std::vector<uint64_t>& stepBytes);

  // The engine's events of device `row`, on that device's worker.
  UpdateObserver& Row(size_t row);

  // Redraws every line unless the board was drawn less than kRedrawInterval ago.
  void Redraw(Clock::time_point now);
  // Draws the final state once more; later output goes below the board.
  void End();
  // A line on stderr; the board is drawn afresh below it.
  void Notice(const std::string& text);

  // The line of `row` as it would be drawn now: the padded label, then the progress.
  std::string Line(size_t row, Clock::time_point now);

 private:
  class RowObserver final : public UpdateObserver {
   public:
    RowObserver(ProgressBoard& board, size_t row) : m_board(board), m_row(row) {}
    void OnEvent(const UpdateEvent& event) override;

   private:
    ProgressBoard& m_board;
    size_t m_row;
  };

  struct RowState {
    ProgressTracker tracker;
    std::string error;  // the failure's text, shown instead of the status from then on
  };

  void DrawLocked(Clock::time_point now);
  std::string LineLocked(size_t row, Clock::time_point now);

  std::FILE* const m_out;
  std::FILE* const m_err;
  const size_t m_columns;
  const std::vector<std::string> m_labels;
  size_t m_labelWidth = 0;
  std::mutex m_mutex;  // the rows and the stream
  std::vector<RowState> m_rows;
  std::vector<std::unique_ptr<RowObserver>> m_observers;
  bool m_drawn = false;  // the board stands on the lines above the cursor
  Clock::time_point m_lastDraw{};
};

}  // namespace tarn::cli
