#include "cli/progress_board.h"

#include <algorithm>
#include <variant>

#include "cli/progress_format.h"
#include "resources/string_table.h"

namespace tarn::cli {

ProgressBoard::ProgressBoard(std::FILE* out, std::FILE* err, size_t columns,
                             std::vector<std::string> labels,
                             const std::vector<uint64_t>& stepBytes)
    : m_out(out), m_err(err), m_columns(columns), m_labels(std::move(labels)) {
  for (size_t row = 0; row < m_labels.size(); ++row) {
    m_labelWidth = std::max(m_labelWidth, m_labels[row].size());
    m_rows.push_back({ProgressTracker(stepBytes), {}});
    m_observers.push_back(std::make_unique<RowObserver>(*this, row));
  }
}

UpdateObserver& ProgressBoard::Row(size_t row) {
  return *m_observers.at(row);
}

void ProgressBoard::RowObserver::OnEvent(const UpdateEvent& event) {
  std::lock_guard lock(m_board.m_mutex);
  RowState& state = m_board.m_rows[m_row];
  std::visit(
      Overloaded{
          [&](const StepEvent& step) {
            state.tracker.SetStep(step.verifying ? 0 : step.step, FormatText(StepText(step)));
          },
          [&](const StatusEvent& status) { state.tracker.SetStatus(FormatText(status.text)); },
          [&](const ProgressRangeEvent& range) { state.tracker.SetRange(range.low, range.high); },
          [&](const ProgressPositionEvent& position) {
            state.tracker.SetPosition(position.position, Clock::now());
          },
          [&](const FailureEvent& failure) { state.error = "Error: " + FormatText(failure.text); },
          [](const ControlsRestoredEvent&) {},
          [](const ExecuteEnabledEvent&) {},
      },
      event);
}

std::string ProgressBoard::Line(size_t row, Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  return LineLocked(row, now);
}

std::string ProgressBoard::LineLocked(size_t row, Clock::time_point now) {
  std::string label = m_labels[row];
  label.resize(m_labelWidth + 2, ' ');
  const size_t rest = m_columns > label.size() ? m_columns - label.size() : 1;
  ProgressSnapshot snapshot = m_rows[row].tracker.Snapshot(now);
  if (!m_rows[row].error.empty()) {
    snapshot.status = m_rows[row].error;
    snapshot.fraction.reset();
    snapshot.bytesPerSecond.reset();
    snapshot.secondsLeft.reset();
  }
  return label + FormatProgressLine(snapshot, rest);
}

void ProgressBoard::Redraw(Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  if (m_drawn && now - m_lastDraw < kRedrawInterval) return;
  DrawLocked(now);
}

void ProgressBoard::End() {
  std::lock_guard lock(m_mutex);
  DrawLocked(Clock::now());
  m_drawn = false;
}

void ProgressBoard::Notice(const std::string& text) {
  std::lock_guard lock(m_mutex);
  std::fprintf(m_err, "%s\n", text.c_str());
  std::fflush(m_err);
  m_drawn = false;
  DrawLocked(Clock::now());
}

void ProgressBoard::DrawLocked(Clock::time_point now) {
  std::string text;
  // Back to the board's first line.
  if (m_drawn && !m_rows.empty()) text = "\033[" + std::to_string(m_rows.size()) + "A";
  for (size_t row = 0; row < m_rows.size(); ++row)
    text += "\r" + LineLocked(row, now) + "\033[K\n";
  std::fputs(text.c_str(), m_out);
  std::fflush(m_out);
  m_drawn = true;
  m_lastDraw = now;
}

}  // namespace tarn::cli
