// The updater dialog: pick the device's MIDI ports, press "Execute", watch the update. It owns
// the update session (ports, dispatcher timer, engine context, worker) and observes the
// engine's events.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>

#include "app/ui_call_gate.h"
#include "engine/image_set.h"
#include "engine/update_context.h"
#include "engine/update_events.h"
#include "session/update_session.h"

class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tarn {

class CT2vVazidavDlg : public QDialog, public UpdateObserver {
  Q_OBJECT

 public:
  // `instanceNumber` is the copy's number, 1..20.
  CT2vVazidavDlg(int32_t instanceNumber, const ImageSet& images, Timing timing = {},
                 QWidget* parent = nullptr);
  ~CT2vVazidavDlg() override;

  // From the worker; carried out on the UI thread, texts looked up as they are shown.
  void OnEvent(const UpdateEvent& event) override;
  // UI thread only.
  void RestoreControls();
  void EnableExecute(bool enable);

  void FillDeviceLists();
  void OnExecuteClicked();
  void OnRescanClicked();

  // Every way of closing ("Exit", Escape, the close box) ends here, in any state.
  void done(int result) override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Starts the update worker; false when no thread could be started.
  virtual bool StartWorker();

 private:
  void CreateControls();
  void OnInitDialog();
  void OnDestroy();
  void ShowAbout();
  // The error box: caption "Error", stop icon, one OK button, owned by this dialog.
  void ShowErrorBox(const QString& text);

  int32_t m_instanceNumber;
  int32_t m_busyFlag = 0;  // 1 while an update runs
  bool m_destroyed = false;
  UiCallGate m_gate{this};
  UpdateSession m_session;

  // Children of the dialog, destroyed with it.
  QComboBox* m_midiIn = nullptr;       // 1000
  QComboBox* m_midiOut = nullptr;      // 1001
  QProgressBar* m_progress = nullptr;  // 1002
  QPushButton* m_execute = nullptr;    // 1
  QLineEdit* m_status = nullptr;       // 1003
  QPushButton* m_rescan = nullptr;     // 1004
  QLineEdit* m_step = nullptr;         // 1006
};

}  // namespace tarn
