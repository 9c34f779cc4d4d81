// The updater dialog on Windows: template 103's controls, bound to the dialog controller, which
// holds the behaviour. The window runs its own modal loop; a message hook on its thread tells the
// Escape key from a click on "Exit" (the dialog manager makes command 2 of both).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/update_context.h"
#include "firmware/firmware_set.h"
#include "session/dialog_controller.h"
#include "session/dialog_view.h"

namespace tarn {

class CT2vVazidavDlg final : private DialogView {
 public:
  // `instanceNumber` is the copy's number, 1..20.
  CT2vVazidavDlg(int32_t instanceNumber, const FirmwareSet& images, Timing timing = {});
  ~CT2vVazidavDlg() override;
  CT2vVazidavDlg(const CT2vVazidavDlg&) = delete;
  CT2vVazidavDlg& operator=(const CT2vVazidavDlg&) = delete;

  // Creates the window from template 103 without an owner and returns when it has closed.
  void DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM data);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // No log-off or shutdown while an update runs; the reason is the user's to read.
  INT_PTR OnQueryEndSession();
  void OnInitDialog();
  void OnCommand(WORD id, WORD code);
  // The icon, centred, while the window is minimized; false when the dialog paints itself.
  bool OnPaint();
  void RunPostedCalls();
  HWND Control(int id) const { return GetDlgItem(m_window, id); }

  // DialogView
  void SetTitle(const std::string& title) override;
  void FillPortList(PortList list, const std::vector<std::string>& names,
                    int32_t selected) override;
  int32_t SelectedPort(PortList list) override;
  void EnableControl(DialogControl control, bool enable) override;
  void SetStepText(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressRange(int32_t low, int32_t high) override;
  void SetProgressPosition(int32_t position) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void ShowInfoBox(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void PostToUi(std::function<void()> call) override;
  void CloseWindow() override;

  std::atomic<HWND> m_window{nullptr};
  HICON m_icon;             // icon 128 at the system's icon size, shared
  HICON m_smallIcon;        // its small image, ours to destroy
  std::mutex m_callsMutex;  // guards m_calls, which worker threads post to
  std::deque<std::function<void()>> m_calls;
  bool m_wakePosted = false;      // a message to run the calls is on its way
  DialogController m_controller;  // last: its worker posts into m_calls until it is gone
};

}  // namespace tarn
