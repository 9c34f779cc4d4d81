// The updater dialog's behaviour, written once for every toolkit: the states (Idle, Updating,
// Completed), "Execute", "Rescan Device", closing, the preselection of the ports, the worker's
// life and the gate that keeps a finished window from being touched. It owns the update session
// and observes the engine; a toolkit creates the controls (DialogView), forwards the user's
// actions here and carries the calls onto its UI thread.
#pragma once

#include <cstdint>

#include "engine/update_context.h"
#include "engine/update_events.h"
#include "firmware/firmware_set.h"
#include "session/dialog_view.h"
#include "session/ui_call_gate.h"
#include "session/update_session.h"

namespace tarn {

enum class DialogState { kIdle, kUpdating, kCompleted };

// How the user asked the window to close.
enum class CloseRequest { kExitButton, kCloseBox, kEscapeKey };

// The About box's line on an image set: its system version, and whether it is the stand-in.
std::string AboutSetText(const FirmwareSet& images);

class DialogController : private UpdateObserver {
 public:
  // `instanceNumber` is the copy's number, 1..20. `view` outlives the controller.
  DialogController(DialogView& view, int32_t instanceNumber, const FirmwareSet& images,
                   Timing timing = {});
  // Stops an update that still runs and waits for its worker.
  virtual ~DialogController();
  DialogController(const DialogController&) = delete;
  DialogController& operator=(const DialogController&) = delete;

  // The user's actions and the window's life, on the UI thread.
  // The title, both lists, the dispatcher's tick and the progress bar's range.
  void OnInitDialog();
  void OnExecuteClicked();
  void OnRescanClicked();
  // Closes the window unless the update's worker is still alive (its error box may be up):
  // then Escape does nothing, and "Exit" and the close box first ask whether to stop it.
  void OnCloseRequested(CloseRequest request);
  // The user's session ends (log-off, shutdown): the update stops as closing stops it.
  void OnSessionEnding();
  // The window is going, however it goes: the worker is cut off from it and released, the
  // ports closed. Idempotent.
  void OnDestroy();

  DialogState State() const;
  // The About box's line on the dialog's image set.
  std::string AboutSetText() const;
  int32_t BusyFlag() const { return m_busyFlag; }

 protected:
  // Starts the update worker; false when no thread could be started.
  virtual bool StartWorker();

 private:
  // From the worker; carried out on the UI thread, texts looked up as they are shown.
  void OnEvent(const UpdateEvent& event) override;
  void FillDeviceLists();
  void RestoreControls();
  void EnableExecute(bool enable);
  void EnableLockedControls(bool enable);
  void ShowErrorBox(const TextRef& text);
  // The box for an output that OpenPorts could not open.
  void ShowOutputFailure();
  // On the worker, after its last event: a completed update that could not be verified says so.
  void OnUpdateEnded(const UpdateOutcome& outcome);
  // The worker has not ended the update yet, whether it sends, waits or shows its error box:
  // until it has, only the user's "Yes" stops it.
  bool UpdateRuns() const { return m_busyFlag == 1; }
  void Close();

  DialogView& m_view;
  int32_t m_instanceNumber;
  const FirmwareSet& m_images;
  int32_t m_busyFlag = 0;  // 1 while an update runs
  bool m_executeEnabled = true;
  bool m_asking = false;  // the stop question is on screen
  bool m_destroyed = false;
  UiCallGate m_gate;
  UpdateSession m_session;  // after the gate: its worker posts through it
};

}  // namespace tarn
