#include "session/dialog_controller.h"

#include <cstdio>
#include <utility>
#include <variant>

#include "instance/instance_limit.h"
#include "resources/string_table.h"
#include "session/lock_problem_text.h"
#include "session/port_preselection.h"
#include "session/stand_in_guard.h"

namespace tarn {
namespace {

std::string Text(int32_t id) {
  return FormatText({id, {}});
}

}  // namespace

DialogController::DialogController(DialogView& view, int32_t instanceNumber,
                                   const FirmwareSet& images, Timing timing)
    : m_view(view),
      m_instanceNumber(instanceNumber),
      m_images(images),
      m_gate([&view](std::function<void()> call) { view.PostToUi(std::move(call)); }),
      m_session(images, *this, timing) {
  // A dialog has no line of its own for it; the terminal it was started from may.
  m_session.SetNotice([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
}

DialogController::~DialogController() {
  OnDestroy();
  // The worker reports to this object: it must be gone before any member is.
  m_session.WaitForWorker();
}

void DialogController::OnInitDialog() {
  FillDeviceLists();
  m_session.StartDispatcher();
  m_view.SetProgressRange(0, 100);
  m_view.SetProgressPosition(0);
  m_view.SetTitle(InstanceName(m_instanceNumber));
}

void DialogController::FillDeviceLists() {
  const std::vector<std::string> outputs = m_session.OutputNames();
  m_view.FillPortList(PortList::kMidiOut, outputs, PreselectedPort(outputs, m_instanceNumber));
  const std::vector<std::string> inputs = m_session.InputNames();
  m_view.FillPortList(PortList::kMidiIn, inputs, PreselectedPort(inputs, m_instanceNumber));
}

void DialogController::OnExecuteClicked() {
  if (m_busyFlag == 1) {
    ShowErrorBox({ids::kInProgress, {}});
    return;
  }
  // An empty selection is -1, and the ports decide what that means.
  const int32_t input = m_view.SelectedPort(PortList::kMidiIn);
  const int32_t output = m_view.SelectedPort(PortList::kMidiOut);
  // Before any port is opened: the device is not even asked who it is.
  if (JudgeStandIn(m_images, input, output) == StandInVerdict::kRefused) {
    ShowErrorBox({ids::kStandInRefused, {}});
    return;
  }
  switch (m_session.OpenPorts(input, output)) {
    case UpdateSession::OpenResult::kOutputFailed:
      ShowOutputFailure();
      return;
    case UpdateSession::OpenResult::kInputFailed:
      ShowErrorBox({ids::kCantOpenMidiIn, {}});
      return;
    case UpdateSession::OpenResult::kOpened:
      break;
  }
  EnableLockedControls(false);
  m_executeEnabled = false;
  m_busyFlag = 1;
  if (!StartWorker()) {
    // Without a worker nothing would ever give the controls back.
    ShowErrorBox({ids::kCantStartUpdate, {}});
    RestoreControls();
  }
}

void DialogController::OnRescanClicked() {
  FillDeviceLists();
  EnableExecute(true);
}

void DialogController::OnCloseRequested(CloseRequest request) {
  // A close asked for while the question is open waits for its answer.
  if (m_destroyed || m_asking) return;
  if (UpdateRuns()) {
    // A single stray key must not leave the device without firmware.
    if (request == CloseRequest::kEscapeKey) return;
    m_asking = true;
    const bool stop = m_view.AskYesNo(InstanceName(m_instanceNumber), Text(ids::kStopUpdate));
    m_asking = false;
    if (!stop || m_destroyed) return;
  }
  Close();
}

void DialogController::OnSessionEnding() {
  Close();
}

void DialogController::Close() {
  OnDestroy();
  m_view.CloseWindow();
}

void DialogController::OnDestroy() {
  if (m_destroyed) return;
  m_destroyed = true;
  // First cut the worker off from the window, so whatever it does next shows nothing and
  // waits for nothing; then release it (status 255) and close the ports.
  m_gate.Close();
  m_session.RequestStop();
}

DialogState DialogController::State() const {
  if (m_busyFlag == 1) return DialogState::kUpdating;
  return m_executeEnabled ? DialogState::kIdle : DialogState::kCompleted;
}

std::string AboutSetText(const FirmwareSet& images) {
  std::string text = "Firmware: system v" + images.SystemVersion();
  if (images.IsStandIn()) text += ", " + Text(ids::kStandInSet);
  return text;
}

std::string DialogController::AboutSetText() const {
  return tarn::AboutSetText(m_images);
}

bool DialogController::StartWorker() {
  return m_session.StartUpdate([this](const UpdateOutcome& outcome) { OnUpdateEnded(outcome); });
}

void DialogController::OnUpdateEnded(const UpdateOutcome& outcome) {
  if (outcome.kind != OutcomeKind::kCompleted ||
      outcome.verification != Verification::kNotPossible) {
    return;
  }
  m_gate.Post(
      [this] { m_view.ShowInfoBox(InstanceName(m_instanceNumber), Text(ids::kNotVerifiedInfo)); });
}

void DialogController::RestoreControls() {
  EnableLockedControls(true);
  m_executeEnabled = true;
  m_busyFlag = 0;
}

void DialogController::EnableExecute(bool enable) {
  m_view.EnableControl(DialogControl::kExecute, enable);
  m_executeEnabled = enable;
}

void DialogController::EnableLockedControls(bool enable) {
  for (const DialogControl control : {DialogControl::kMidiIn, DialogControl::kMidiOut,
                                      DialogControl::kExecute, DialogControl::kRescan}) {
    m_view.EnableControl(control, enable);
  }
}

void DialogController::ShowOutputFailure() {
  // A lock file or folder in the way is named with its fix; no port is to blame for it.
  const std::string named = LockProblemText(m_session.LockFailure());
  if (named.empty()) {
    ShowErrorBox({ids::kCantOpenMidiOut, {}});
  } else {
    m_view.ShowErrorBox(Text(ids::kErrorCaption), named);
  }
}

void DialogController::ShowErrorBox(const TextRef& text) {
  m_view.ShowErrorBox(Text(ids::kErrorCaption), FormatText(text));
}

void DialogController::OnEvent(const UpdateEvent& event) {
  // Every control change happens on the UI thread; a closed gate drops it.
  std::visit(Overloaded{
                 [&](const StepEvent& step) {
                   m_gate.Post([this, step] { m_view.SetStepText(FormatText(StepText(step))); });
                 },
                 [&](const StatusEvent& status) {
                   m_gate.Post([this, status] { m_view.SetStatusText(FormatText(status.text)); });
                 },
                 [&](const ProgressRangeEvent& range) {
                   m_gate.Post([this, range] { m_view.SetProgressRange(range.low, range.high); });
                 },
                 [&](const ProgressPositionEvent& position) {
                   m_gate.Post([this, position] { m_view.SetProgressPosition(position.position); });
                 },
                 [&](const FailureEvent& failure) {
                   // The worker waits until the box is dismissed, or the window closes.
                   m_gate.Run([this, failure] { ShowErrorBox(failure.text); });
                 },
                 [&](const ControlsRestoredEvent&) { m_gate.Post([this] { RestoreControls(); }); },
                 [&](const ExecuteEnabledEvent& execute) {
                   m_gate.Post([this, execute] { EnableExecute(execute.enable); });
                 },
             },
             event);
}

}  // namespace tarn
