#include "cli/cli_view.h"

#include <variant>

#include "cli/firmware_info.h"
#include "cli/progress_format.h"
#include "resources/string_table.h"

namespace tarn::cli {

CliView::CliView(ViewOutput output, std::vector<uint64_t> stepBytes)
    : m_output(output), m_tracker(std::move(stepBytes)) {}

void CliView::OnEvent(const UpdateEvent& event) {
  std::lock_guard lock(m_mutex);
  std::visit(
      Overloaded{
          [&](const StepEvent& step) {
            const std::string text = FormatText(StepText(step));
            m_tracker.SetStep(step.verifying ? 0 : step.step, text);
            if (text != m_step) m_stepChanged = true;
            m_step = text;
          },
          [&](const StatusEvent& status) { ShowStatusLocked(FormatText(status.text)); },
          [&](const ProgressRangeEvent& range) { m_tracker.SetRange(range.low, range.high); },
          [&](const ProgressPositionEvent& position) {
            m_tracker.SetPosition(position.position, Clock::now());
          },
          [&](const FailureEvent& failure) {
            EndLineLocked();
            std::fprintf(m_output.err, "%sError: %s\n", m_output.prefix.c_str(),
                         FormatText(failure.text).c_str());
            std::fflush(m_output.err);
          },
          [](const ControlsRestoredEvent&) {},
          [](const ExecuteEnabledEvent&) {},
      },
      event);
}

void CliView::Start(const FirmwareSet& set) {
  std::lock_guard lock(m_mutex);
  if (m_output.quiet) return;
  std::fprintf(m_output.out, "%s%s\n", m_output.prefix.c_str(), SetLine(set).c_str());
  std::fflush(m_output.out);
}

void CliView::ShowStatusLocked(const std::string& text) {
  m_tracker.SetStatus(text);
  if (m_output.quiet || m_output.terminal || text.empty()) return;
  if (text == m_lastStatusLine && !m_stepChanged) return;
  std::fprintf(m_output.out, "%s%s\n", m_output.prefix.c_str(),
               FormatPlainLine(m_step, text).c_str());
  std::fflush(m_output.out);
  m_lastStatusLine = text;
  m_stepChanged = false;
}

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
