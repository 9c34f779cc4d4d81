#include "tests/session/fake_dialog_view.h"

#include <utility>

namespace tarn::test {

void FakeDialogView::FillPortList(PortList list, const std::vector<std::string>& names,
                                  int32_t selected) {
  MutableList(list) = {names, selected};
}

void FakeDialogView::EnableControl(DialogControl control, bool enable) {
  m_enabled[static_cast<size_t>(control)] = enable;
}

void FakeDialogView::SetProgressRange(int32_t low, int32_t high) {
  m_low = low;
  m_high = high;
}

void FakeDialogView::ShowErrorBox(const std::string& caption, const std::string& text) {
  m_errorBoxes.push_back({caption, text});
  if (m_insideErrorBox) m_insideErrorBox();
}

bool FakeDialogView::AskYesNo(const std::string& caption, const std::string& text) {
  m_questions.push_back({caption, text});
  if (m_insideQuestion) m_insideQuestion();
  if (m_answers.empty()) return false;
  const bool yes = m_answers.front();
  m_answers.pop_front();
  return yes;
}

}  // namespace tarn::test
