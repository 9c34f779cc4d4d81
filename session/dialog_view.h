// What a toolkit does for the dialog controller: the updater dialog's controls, its boxes and
// its UI thread. Texts are in the string table's code page; the ports' names are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn {

enum class PortList { kMidiIn, kMidiOut };  // lists 1000 and 1001

// The controls an update locks; "Exit" is never among them.
enum class DialogControl { kMidiIn, kMidiOut, kExecute, kRescan };

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Everything below but PostToUi is called on the UI thread only.
  virtual void SetTitle(const std::string& title) = 0;
  // Replaces the list's entries (entry i = port i) and selects `selected` (-1: none).
  virtual void FillPortList(PortList list, const std::vector<std::string>& names,
                            int32_t selected) = 0;
  // The selected entry, -1 when none is.
  virtual int32_t SelectedPort(PortList list) = 0;
  virtual void EnableControl(DialogControl control, bool enable) = 0;
  virtual void SetStepText(const std::string& text) = 0;    // edit 1006
  virtual void SetStatusText(const std::string& text) = 0;  // edit 1003
  virtual void SetProgressRange(int32_t low, int32_t high) = 0;
  virtual void SetProgressPosition(int32_t position) = 0;
  // A modal box owned by the dialog with the stop icon and one OK button; returns once it has
  // been dismissed or the window has gone.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // A modal box owned by the dialog with the information icon and one OK button.
  virtual void ShowInfoBox(const std::string& caption, const std::string& text) = 0;
  // A modal box owned by the dialog with "Yes" and "No", "No" the default; true for "Yes".
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  // Any thread: runs `call` on the UI thread later. Calls for a window that is gone may be
  // dropped.
  virtual void PostToUi(std::function<void()> call) = 0;
  // Closes the window and every box it owns; the controller has stopped the update by then.
  virtual void CloseWindow() = 0;
};

}  // namespace tarn
