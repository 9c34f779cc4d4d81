#include "cli/cli_view.h"

#include "cli/progress_format.h"
#include "resources/string_table.h"

namespace tarn::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

CliView::CliView(ViewOutput output, std::vector<uint64_t> stepBytes, std::function<void()> ended)
    : m_output(output), m_ended(std::move(ended)), m_tracker(std::move(stepBytes)) {}

void CliView::SetStatusText(const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_tracker.SetStatus(text);
  if (text == LoadString(ids::kUpdateCompleted)) m_outcome.completed = true;
  if (m_output.quiet || m_output.terminal || text.empty()) return;
  if (text == m_lastStatusLine && !m_stepChanged) return;
  std::fprintf(m_output.out, "%s\n", FormatPlainLine(m_step, text).c_str());
  std::fflush(m_output.out);
  m_lastStatusLine = text;
  m_stepChanged = false;
}

void CliView::SetStepText(const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_tracker.SetStep(text);
  if (text != m_step) m_stepChanged = true;
  m_step = text;
}

void CliView::SetProgressRange(int32_t low, int32_t high) {
  std::lock_guard lock(m_mutex);
  m_tracker.SetRange(low, high);
}

void CliView::SetProgressPosition(int32_t position) {
  std::lock_guard lock(m_mutex);
  m_tracker.SetPosition(position, Clock::now());
}

void CliView::ShowError(const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_outcome.errorShown = true;
  EndLineLocked();
  std::fprintf(m_output.err, "Error: %s\n", text.c_str());
  std::fflush(m_output.err);
}

void CliView::RestoreControls() {
  if (m_ended) m_ended();
}

void CliView::EnableExecute(bool) {}

void CliView::Redraw(Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  if (!m_output.terminal || m_output.quiet) return;
  if (m_lineShown && now - m_lastDraw < kRedrawInterval) return;
  DrawLocked(now);
}

void CliView::EndLine() {
  std::lock_guard lock(m_mutex);
  EndLineLocked();
}

void CliView::Notice(const std::string& text) {
  std::lock_guard lock(m_mutex);
  const bool redraw = m_lineShown;
  if (redraw) {
    std::fputs("\r\033[K", m_output.out);
    std::fflush(m_output.out);
  }
  std::fprintf(m_output.err, "%s\n", text.c_str());
  std::fflush(m_output.err);
  if (redraw) DrawLocked(Clock::now());
}

UpdateOutcome CliView::Outcome() const {
  std::lock_guard lock(m_mutex);
  return m_outcome;
}

void CliView::DrawLocked(Clock::time_point now) {
  const std::string line = FormatProgressLine(m_tracker.Snapshot(now), m_output.columns);
  std::fprintf(m_output.out, "\r%s\033[K", line.c_str());
  std::fflush(m_output.out);
  m_lineShown = true;
  m_everDrawn = true;
  m_lastDraw = now;
}

void CliView::EndLineLocked() {
  if (!m_output.terminal || m_output.quiet) return;
  if (!m_lineShown && m_everDrawn) return;
  // The final state, even when the last redraw was only a moment ago.
  DrawLocked(Clock::now());
  std::fputc('\n', m_output.out);
  std::fflush(m_output.out);
  m_lineShown = false;
}

}  // namespace tarn::cli
