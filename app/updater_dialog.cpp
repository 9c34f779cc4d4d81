#include "app/updater_dialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "app/read_only_edit.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

QString Local(const std::string& text) {
  return QString::fromLocal8Bit(text);
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

}  // namespace

CT2vVazidavDlg::CT2vVazidavDlg(int32_t instanceNumber, const FirmwareSet& images, Timing timing,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_controller(*this, instanceNumber, images, timing) {
  CreateControls();
  setWindowIcon(AppIcon());
  m_controller.OnInitDialog();
  m_execute->setFocus();
}

CT2vVazidavDlg::~CT2vVazidavDlg() = default;

// Template 103, in template order, which is also the tab order.
void CT2vVazidavDlg::CreateControls() {
  setFont(DialogFont());
  const DialogUnits units = DialogUnits::FromFont(font());
  setFixedSize(units.toPixelsX(239), units.toPixelsY(161));

  m_execute = MakeButton(this, "1", QStringLiteral("Execute"), units.toPixels(119, 138, 50, 16));
  m_execute->setDefault(true);
  connect(m_execute, &QPushButton::clicked, this, [this] { m_controller.OnExecuteClicked(); });

  QPushButton* exit =
      MakeButton(this, "2", QStringLiteral("Exit"), units.toPixels(182, 138, 50, 16));
  connect(exit, &QPushButton::clicked, this,
          [this] { m_controller.OnCloseRequested(CloseRequest::kExitButton); });

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
  connect(m_rescan, &QPushButton::clicked, this, [this] { m_controller.OnRescanClicked(); });

  // Picture 1005 never shows anything.
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("1005"));
  picture->setGeometry(units.toPixels(7, 134, 20, 20));

  m_step = MakeReadOnlyEdit(this, QStringLiteral("1006"), units.toPixels(12, 78, 29, 12));
}

void CT2vVazidavDlg::reject() {
  m_controller.OnCloseRequested(CloseRequest::kCloseBox);
}

void CT2vVazidavDlg::keyPressEvent(QKeyEvent* event) {
  // QDialog would reject() on Escape; the controller decides instead.
  if (event->matches(QKeySequence::Cancel)) {
    m_controller.OnCloseRequested(CloseRequest::kEscapeKey);
    return;
  }
  QDialog::keyPressEvent(event);
}

void CT2vVazidavDlg::done(int result) {
  m_controller.OnDestroy();
  QDialog::done(result);
}

void CT2vVazidavDlg::contextMenuEvent(QContextMenuEvent* event) {
  const QString item = Local(FormatText({ids::kAboutMenuItem, {}}));
  if (item.isEmpty()) return;
  QMenu menu(this);
  const QAction* about = menu.addAction(item);
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

void CT2vVazidavDlg::ShowAbout() {
  CAboutDlg about(m_controller.AboutSetText(), this);
  about.exec();
}

QComboBox* CT2vVazidavDlg::List(PortList list) const {
  return list == PortList::kMidiIn ? m_midiIn : m_midiOut;
}

void CT2vVazidavDlg::SetTitle(const std::string& title) {
  setWindowTitle(Local(title));
}

void CT2vVazidavDlg::FillPortList(PortList list, const std::vector<std::string>& names,
                                  int32_t selected) {
  QComboBox* box = List(list);
  box->clear();
  for (const std::string& name : names)
    box->addItem(Local(name));
  box->setCurrentIndex(selected);
}

int32_t CT2vVazidavDlg::SelectedPort(PortList list) {
  return List(list)->currentIndex();
}

void CT2vVazidavDlg::EnableControl(DialogControl control, bool enable) {
  switch (control) {
    case DialogControl::kMidiIn:
      m_midiIn->setEnabled(enable);
      break;
    case DialogControl::kMidiOut:
      m_midiOut->setEnabled(enable);
      break;
    case DialogControl::kExecute:
      m_execute->setEnabled(enable);
      break;
    case DialogControl::kRescan:
      m_rescan->setEnabled(enable);
      break;
  }
}

void CT2vVazidavDlg::SetStepText(const std::string& text) {
  m_step->setText(Local(text));
}

void CT2vVazidavDlg::SetStatusText(const std::string& text) {
  m_status->setText(Local(text));
}

void CT2vVazidavDlg::SetProgressRange(int32_t low, int32_t high) {
  m_progress->setRange(low, high);
}

void CT2vVazidavDlg::SetProgressPosition(int32_t position) {
  m_progress->setValue(position);
}

void CT2vVazidavDlg::ShowErrorBox(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Critical, Local(caption), Local(text), QMessageBox::Ok, this);
  box.exec();
}

void CT2vVazidavDlg::ShowInfoBox(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Information, Local(caption), Local(text), QMessageBox::Ok, this);
  box.exec();
}

bool CT2vVazidavDlg::AskYesNo(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, Local(caption), Local(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void CT2vVazidavDlg::PostToUi(std::function<void()> call) {
  // Queued calls for a dialog that is gone are dropped with it.
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CT2vVazidavDlg::CloseWindow() {
  // A box of the worker's that is still open goes with the window, and lets the worker go.
  for (QMessageBox* box : findChildren<QMessageBox*>())
    box->reject();
  QDialog::done(QDialog::Rejected);
}

}  // namespace tarn
