#include "cli/run_views.h"

#include "cli/firmware_info.h"

namespace tarn::cli {

RunViews::RunViews(const ViewChoice& choice, std::vector<std::string> labels,
                   std::vector<uint64_t> stepBytes, Clock::time_point start)
    : m_choice(choice), m_labels(std::move(labels)), m_runJson(choice.out, m_jsonMutex, start) {
  const bool several = choice.scope == RunScope::kEveryDevice;
  if (choice.json) {
    for (const std::string& label : m_labels) {
      m_json.push_back(std::make_unique<JsonView>(choice.out, m_jsonMutex, start));
      m_json.back()->SetDevice(label);
    }
  } else if (several && !choice.quiet && choice.terminals.out) {
    m_board.emplace(choice.out, choice.err, choice.columns, m_labels, stepBytes);
  } else {
    for (const std::string& label : m_labels) {
      ViewOutput output;
      output.out = choice.out;
      output.err = choice.err;
      output.quiet = choice.quiet;
      // Lines of several devices interleave: each is led by its device, none drawn in place.
      if (several) {
        output.prefix = label + ": ";
      } else {
        output.terminal = choice.terminals.out;
        output.columns = choice.columns;
      }
      m_lines.push_back(std::make_unique<CliView>(output, stepBytes));
    }
  }
}

UpdateObserver& RunViews::Observer(size_t device) {
  if (m_board) return m_board->Row(device);
  if (m_choice.json) return *m_json.at(device);
  return *m_lines.at(device);
}

void RunViews::NameDevice(size_t device, const std::string& name) {
  if (m_choice.json) m_json.at(device)->SetDevice(name);
}

void RunViews::Start(const FirmwareSet& set) {
  if (m_board) {
    // The board's own lines name the devices; the set is the same for all of them.
    std::fprintf(m_choice.out, "%s\n", SetLine(set).c_str());
    std::fflush(m_choice.out);
  }
  for (auto& view : m_json)
    view->Start(set);
  for (auto& view : m_lines)
    view->Start(set);
}

void RunViews::Redraw(Clock::time_point now) {
  if (m_board) m_board->Redraw(now);
  for (auto& view : m_lines)
    view->Redraw(now);
}

void RunViews::EndLine() {
  if (m_board) m_board->End();
  for (auto& view : m_lines)
    view->EndLine();
}

void RunViews::Notice(const std::string& text) {
  if (m_board) m_board->Notice(text);
  for (auto& view : m_json)
    view->Notice(text);
  if (!m_lines.empty()) m_lines.front()->Notice(text);
}

void RunViews::NoticeOnce(const std::string& text) {
  std::call_once(m_noticeOnce, [&] { Notice(text); });
}

void RunViews::DeviceError(size_t device, const std::string& text, int exitCode) {
  if (m_choice.json) m_json.at(device)->Error(text, exitCode);
}

void RunViews::Outcome(size_t device, const UpdateOutcome& outcome, int exitCode) {
  if (m_choice.json) m_json.at(device)->Outcome(outcome, exitCode);
}

void RunViews::DeviceLine(size_t device, const std::string& event, const std::string& text) {
  if (m_choice.json) m_json.at(device)->Line(event, text);
}

void RunViews::RunError(const std::string& text, int exitCode) {
  if (m_choice.json) m_runJson.Error(text, exitCode);
}

void RunViews::RunEnd(int exitCode) {
  if (m_choice.json) m_runJson.End(exitCode);
}

}  // namespace tarn::cli
