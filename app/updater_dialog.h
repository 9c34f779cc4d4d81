// The updater dialog in Qt: template 103's controls, bound to the dialog controller, which
// holds the behaviour. Pick the device's MIDI ports, press "Execute", watch the update.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "engine/update_context.h"
#include "firmware/firmware_set.h"
#include "session/dialog_controller.h"
#include "session/dialog_view.h"

class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tarn {

class CT2vVazidavDlg : public QDialog, private DialogView {
  Q_OBJECT

 public:
  // `instanceNumber` is the copy's number, 1..20.
  CT2vVazidavDlg(int32_t instanceNumber, const FirmwareSet& images, Timing timing = {},
                 QWidget* parent = nullptr);
  ~CT2vVazidavDlg() override;

  // "Exit" and the close box come here.
  void reject() override;
  // Every way the window goes ends here, in any state.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CreateControls();
  void ShowAbout();
  QComboBox* List(PortList list) const;

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

  // Children of the dialog, destroyed with it.
  QComboBox* m_midiIn = nullptr;       // 1000
  QComboBox* m_midiOut = nullptr;      // 1001
  QProgressBar* m_progress = nullptr;  // 1002
  QPushButton* m_execute = nullptr;    // 1
  QLineEdit* m_status = nullptr;       // 1003
  QPushButton* m_rescan = nullptr;     // 1004
  QLineEdit* m_step = nullptr;         // 1006
  DialogController m_controller;       // after the controls it drives
};

}  // namespace tarn
