#include "app/updater_dialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <variant>
#include <vector>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "app/read_only_edit.h"
#include "instance/instance_limit.h"
#include "resources/string_table.h"
#include "session/port_preselection.h"

namespace tarn {
namespace {

QString Text(int32_t id) {
  return QString::fromLocal8Bit(LoadString(id));
}

QString Text(const TextRef& text) {
  return QString::fromLocal8Bit(FormatText(text));
}

QPushButton* MakeButton(QWidget* parent, const char* id, const QString& text, const QRect& rect) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  button->setGeometry(rect);
  return button;
}

// A drop-down list whose closed height is the style's own and whose open list fills the rest
// of the height the template gives it.
QComboBox* MakePortList(QWidget* parent, const char* id, const DialogUnits& units, int x, int y) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(id));
  const int closedHeight = list->sizeHint().height();
  list->setGeometry(units.toPixelsX(x), units.toPixelsY(y), units.toPixelsX(225), closedHeight);
  const int listHeight = units.toPixelsY(115) - closedHeight;
  list->setMaxVisibleItems(std::max(1, listHeight / list->fontMetrics().height()));
  return list;
}

void FillList(QComboBox* list, const std::vector<std::string>& names, int32_t instanceNumber) {
  list->clear();
  for (const std::string& name : names)
    list->addItem(QString::fromLocal8Bit(name));
  list->setCurrentIndex(PreselectedPort(names, instanceNumber));
}

}  // namespace

CT2vVazidavDlg::CT2vVazidavDlg(int32_t instanceNumber, const ImageSet& images, Timing timing,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_instanceNumber(instanceNumber),
      m_session(images, *this, timing) {
  CreateControls();
  OnInitDialog();
}

CT2vVazidavDlg::~CT2vVazidavDlg() {
  OnDestroy();
  // The worker reports to this object: it must be gone before any member is.
  m_session.WaitForWorker();
}

// Template 103, in template order, which is also the tab order.
void CT2vVazidavDlg::CreateControls() {
  setFont(DialogFont());
  const DialogUnits units = DialogUnits::FromFont(font());
  setFixedSize(units.toPixelsX(239), units.toPixelsY(161));

  m_execute = MakeButton(this, "1", QStringLiteral("Execute"), units.toPixels(119, 138, 50, 16));
  m_execute->setDefault(true);
  connect(m_execute, &QPushButton::clicked, this, &CT2vVazidavDlg::OnExecuteClicked);

  QPushButton* exit =
      MakeButton(this, "2", QStringLiteral("Exit"), units.toPixels(182, 138, 50, 16));
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);

  auto* inLabel = new QLabel(QStringLiteral("MIDI IN"), this);
  inLabel->setGeometry(units.toPixels(7, 7, 225, 8));
  auto* outLabel = new QLabel(QStringLiteral("MIDI OUT"), this);
  outLabel->setGeometry(units.toPixels(7, 37, 225, 8));

  m_midiIn = MakePortList(this, "1000", units, 7, 15);
  m_midiOut = MakePortList(this, "1001", units, 7, 45);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("1002"));
  m_progress->setGeometry(units.toPixels(7, 107, 225, 14));
  m_progress->setTextVisible(false);

  m_status = MakeReadOnlyEdit(this, QStringLiteral("1003"), units.toPixels(12, 91, 220, 12));

  m_rescan =
      MakeButton(this, "1004", QStringLiteral("Rescan Device"), units.toPixels(145, 65, 87, 16));
  connect(m_rescan, &QPushButton::clicked, this, &CT2vVazidavDlg::OnRescanClicked);

  // Picture 1005 never shows anything.
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("1005"));
  picture->setGeometry(units.toPixels(7, 134, 20, 20));

  m_step = MakeReadOnlyEdit(this, QStringLiteral("1006"), units.toPixels(12, 78, 29, 12));
}

void CT2vVazidavDlg::OnInitDialog() {
  setWindowIcon(AppIcon());
  FillDeviceLists();
  m_session.StartDispatcher();
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  setWindowTitle(QString::fromLocal8Bit(InstanceName(m_instanceNumber)));
  m_execute->setFocus();
}

void CT2vVazidavDlg::FillDeviceLists() {
  FillList(m_midiOut, m_session.OutputNames(), m_instanceNumber);
  FillList(m_midiIn, m_session.InputNames(), m_instanceNumber);
}

void CT2vVazidavDlg::OnExecuteClicked() {
  if (m_busyFlag == 1) {
    ShowErrorBox(Text(ids::kInProgress));
    return;
  }
  // An empty selection is -1, and the ports decide what that means.
  switch (m_session.OpenPorts(m_midiIn->currentIndex(), m_midiOut->currentIndex())) {
    case UpdateSession::OpenResult::kOutputFailed:
      ShowErrorBox(Text(ids::kCantOpenMidiOut));
      return;
    case UpdateSession::OpenResult::kInputFailed:
      ShowErrorBox(Text(ids::kCantOpenMidiIn));
      return;
    case UpdateSession::OpenResult::kOpened:
      break;
  }
  m_midiIn->setEnabled(false);
  m_midiOut->setEnabled(false);
  m_execute->setEnabled(false);
  m_rescan->setEnabled(false);
  m_busyFlag = 1;
  if (!StartWorker()) {
    // Without a worker nothing would ever give the controls back.
    ShowErrorBox(Text(ids::kCantStartUpdate));
    RestoreControls();
  }
}

void CT2vVazidavDlg::OnRescanClicked() {
  FillDeviceLists();
  EnableExecute(true);
}

bool CT2vVazidavDlg::StartWorker() {
  return m_session.StartUpdate();
}

void CT2vVazidavDlg::done(int result) {
  OnDestroy();
  QDialog::done(result);
}

void CT2vVazidavDlg::OnDestroy() {
  if (m_destroyed) return;
  m_destroyed = true;
  // First cut the worker off from the window, so whatever it does next shows nothing and
  // waits for nothing; then release it (status 255) and close the ports.
  m_gate.Close();
  m_session.RequestStop();
  for (QMessageBox* box : findChildren<QMessageBox*>())
    box->reject();
}

void CT2vVazidavDlg::contextMenuEvent(QContextMenuEvent* event) {
  const QString item = Text(ids::kAboutMenuItem);
  if (item.isEmpty()) return;
  QMenu menu(this);
  const QAction* about = menu.addAction(item);
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

void CT2vVazidavDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CT2vVazidavDlg::ShowErrorBox(const QString& text) {
  QMessageBox box(QMessageBox::Critical, Text(ids::kErrorCaption), text, QMessageBox::Ok, this);
  box.exec();
}

void CT2vVazidavDlg::OnEvent(const UpdateEvent& event) {
  // Every control change happens on the UI thread; a closed gate drops it.
  const auto onUi = [this](std::function<void()> call) { m_gate.Post(std::move(call)); };
  std::visit(Overloaded{
                 [&](const StepEvent& step) {
                   onUi([this, step] { m_step->setText(Text(StepText(step))); });
                 },
                 [&](const StatusEvent& status) {
                   onUi([this, status] { m_status->setText(Text(status.text)); });
                 },
                 [&](const ProgressRangeEvent& range) {
                   onUi([this, range] { m_progress->setRange(range.low, range.high); });
                 },
                 [&](const ProgressPositionEvent& position) {
                   onUi([this, position] { m_progress->setValue(position.position); });
                 },
                 [&](const FailureEvent& failure) {
                   // The worker waits until the box is dismissed, or the window closes.
                   m_gate.Run([this, failure] { ShowErrorBox(Text(failure.text)); });
                 },
                 [&](const ControlsRestoredEvent&) { onUi([this] { RestoreControls(); }); },
                 [&](const ExecuteEnabledEvent& execute) {
                   onUi([this, execute] { EnableExecute(execute.enable); });
                 },
             },
             event);
}

void CT2vVazidavDlg::RestoreControls() {
  m_midiIn->setEnabled(true);
  m_midiOut->setEnabled(true);
  m_execute->setEnabled(true);
  m_rescan->setEnabled(true);
  m_busyFlag = 0;
}

void CT2vVazidavDlg::EnableExecute(bool enable) {
  m_execute->setEnabled(enable);
}

}  // namespace tarn
