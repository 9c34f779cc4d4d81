// The engine's only window on the user. The dialog implements it on its UI thread, the CLI on
// a terminal, tests by recording. Every call comes from the update worker thread.
#pragma once

#include <cstdint>
#include <string>

namespace tarn {

class UpdateView {
 public:
  virtual ~UpdateView() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetStepText(const std::string& text) = 0;
  virtual void SetProgressRange(int32_t low, int32_t high) = 0;
  virtual void SetProgressPosition(int32_t position) = 0;
  // Shows `text` with the caption "Error" and returns once the user has dismissed it.
  virtual void ShowError(const std::string& text) = 0;
  // Port lists, "Execute" and "Rescan Device" enabled again; the update is no longer busy.
  virtual void RestoreControls() = 0;
  virtual void EnableExecute(bool enable) = 0;
};

}  // namespace tarn
