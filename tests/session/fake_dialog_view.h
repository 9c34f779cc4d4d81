// The updater dialog's controls without a toolkit, for the controller's tests: it remembers
// what the controller set, answers boxes as the test says, and its UI thread is the test's own,
// running posted calls while the test waits.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "session/dialog_view.h"
#include "tests/session/ui_queue.h"
#include "tests/support/dialog_controls.h"

namespace tarn::test {

struct SeenBox {
  std::string caption;
  std::string text;
};

struct ShownList {
  std::vector<std::string> names;
  int32_t selected = -1;
};

class FakeDialogView : public DialogView {
 public:
  void SetTitle(const std::string& title) override { m_title = title; }
  void FillPortList(PortList list, const std::vector<std::string>& names,
                    int32_t selected) override;
  int32_t SelectedPort(PortList list) override { return m_lists[Index(list)].selected; }
  void EnableControl(DialogControl control, bool enable) override;
  void SetStepText(const std::string& text) override { m_step = text; }
  void SetStatusText(const std::string& text) override { m_status = text; }
  void SetProgressRange(int32_t low, int32_t high) override;
  void SetProgressPosition(int32_t position) override { m_position = position; }
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void ShowInfoBox(const std::string& caption, const std::string& text) override {
    m_infoBoxes.push_back({caption, text});
  }
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void PostToUi(std::function<void()> call) override { m_ui.Post(std::move(call)); }
  void CloseWindow() override { m_closed = true; }

  // The user picks entry `index` (-1: none).
  void Select(PortList list, int32_t index) { MutableList(list).selected = index; }
  // Runs while an error box is open (the box goes once it returns, or when the window closes).
  void WhileErrorBoxOpen(std::function<void()> action) { m_insideErrorBox = std::move(action); }
  // The answers of the next stop questions, "Yes" = true; "No" once they run out.
  void Answer(std::initializer_list<bool> answers) { m_answers.insert(m_answers.end(), answers); }
  // Runs while the stop question is open, before it is answered.
  void WhileQuestionOpen(std::function<void()> action) { m_insideQuestion = std::move(action); }

  // The UI thread's loop, on the test's thread.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return m_ui.PumpUntil(done, timeout);
  }
  void PumpFor(std::chrono::milliseconds duration) { m_ui.PumpFor(duration); }

  const std::string& Title() const { return m_title; }
  const ShownList& List(PortList list) const { return m_lists[Index(list)]; }
  Controls State() const { return {m_enabled[0], m_enabled[1], m_enabled[2], m_enabled[3]}; }
  const std::string& Step() const { return m_step; }
  const std::string& Status() const { return m_status; }
  int32_t ProgressLow() const { return m_low; }
  int32_t ProgressHigh() const { return m_high; }
  int32_t ProgressPosition() const { return m_position; }
  const std::vector<SeenBox>& ErrorBoxes() const { return m_errorBoxes; }
  const std::vector<SeenBox>& InfoBoxes() const { return m_infoBoxes; }
  const std::vector<SeenBox>& Questions() const { return m_questions; }
  bool Closed() const { return m_closed; }

 private:
  static size_t Index(PortList list) { return list == PortList::kMidiIn ? 0 : 1; }
  ShownList& MutableList(PortList list) { return m_lists[Index(list)]; }

  UiQueue m_ui;
  std::string m_title;
  std::array<ShownList, 2> m_lists;
  std::array<bool, 4> m_enabled{true, true, true, true};  // controls start enabled
  std::string m_step;
  std::string m_status;
  int32_t m_low = 0;
  int32_t m_high = 100;
  int32_t m_position = 0;
  std::vector<SeenBox> m_errorBoxes;
  std::vector<SeenBox> m_infoBoxes;
  std::vector<SeenBox> m_questions;
  std::function<void()> m_insideErrorBox;
  std::function<void()> m_insideQuestion;
  std::deque<bool> m_answers;
  bool m_closed = false;
};

}  // namespace tarn::test
