#include "app/updater_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "box_catcher.h"
#include "dialog_fixture.h"
#include "midi/platform/platform.h"
#include "sim/plan_expectations.h"
#include "tests/support/environment.h"
#include "tests/support/firmware_files.h"
#include "tests/support/outside_backend.h"

namespace tarn::testing {
namespace {

constexpr int kUpdateTimeoutMs = 180000;

void ExpectErrorBox(const SeenBox& box, const char* text, QWidget* owner) {
  EXPECT_EQ(box.text, QString::fromLatin1(text));
  EXPECT_EQ(box.caption, QStringLiteral("Error"));
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.okButton);
  EXPECT_EQ(box.owner, owner);
}

// Template 103: every control where the template puts it, in dialog units of the dialog's font.
struct TemplateControl {
  const char* id;
  const char* text;
  int x, y, width, height;
};

TEST_F(DialogTest, ControlsFollowTheTemplate) {
  auto dialog = Open();
  const DialogUnits units = DialogUnits::FromFont(DialogFont());
  EXPECT_EQ(dialog->size(), QSize(units.toPixelsX(239), units.toPixelsY(161)));
  EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);

  const TemplateControl controls[] = {
      {"1", "Execute", 119, 138, 50, 16},
      {"2", "Exit", 182, 138, 50, 16},
      {"1002", "", 7, 107, 225, 14},
      {"1003", "", 12, 91, 220, 12},
      {"1004", "Rescan Device", 145, 65, 87, 16},
      {"1005", "", 7, 134, 20, 20},
      {"1006", "", 12, 78, 29, 12},
  };
  for (const TemplateControl& c : controls) {
    QWidget* widget = Find<QWidget>(*dialog, c.id);
    EXPECT_EQ(widget->geometry(), units.toPixels(c.x, c.y, c.width, c.height)) << c.id;
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), c.text);
    }
  }
  // The lists' closed height is the style's own; the template's includes the open list.
  for (const auto& [id, y] : {std::pair{"1000", 15}, std::pair{"1001", 45}}) {
    const QRect rect = Find<QComboBox>(*dialog, id)->geometry();
    EXPECT_EQ(rect.topLeft(), units.toPixels(7, y, 0, 0).topLeft()) << id;
    EXPECT_EQ(rect.width(), units.toPixelsX(225)) << id;
    EXPECT_FALSE(Find<QComboBox>(*dialog, id)->isEditable());
  }
  for (const auto& [text, y] : {std::pair{"MIDI IN", 7}, std::pair{"MIDI OUT", 37}}) {
    const auto labels = dialog->findChildren<QLabel*>();
    const auto label = std::find_if(labels.begin(), labels.end(),
                                    [&](QLabel* l) { return l->text() == QString(text); });
    ASSERT_NE(label, labels.end()) << text;
    EXPECT_EQ((*label)->geometry(), units.toPixels(7, y, 225, 8)) << text;
  }

  EXPECT_TRUE(Find<QPushButton>(*dialog, "1")->isDefault());
  EXPECT_FALSE(Find<QPushButton>(*dialog, "1004")->isDefault());
  for (const char* id : {"1003", "1006"}) {
    auto* edit = Find<QLineEdit>(*dialog, id);
    EXPECT_TRUE(edit->isReadOnly()) << id;
    EXPECT_FALSE(edit->hasFrame()) << id;
    EXPECT_TRUE(edit->text().isEmpty()) << id;
  }
  EXPECT_TRUE(Find<QLabel>(*dialog, "1005")->pixmap().isNull());
}

TEST_F(DialogTest, TabOrderIsTheTemplateOrder) {
  auto dialog = Open();
  QApplication::setActiveWindow(dialog.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(*dialog, "1"));
  const char* const order[] = {"2", "1000", "1001", "1003", "1004", "1006", "1"};
  for (const char* id : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(*dialog, id)) << id;
  }
}

TEST_F(DialogTest, StartsIdleWithTheDevicePreselected) {
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("DAXO R5x System v2.00 Updater"));
  EXPECT_EQ(State(*dialog), kIdle);
  for (const char* id : {"1000", "1001"}) {
    auto* list = Find<QComboBox>(*dialog, id);
    ASSERT_GE(list->count(), 1) << id;
    EXPECT_EQ(list->currentIndex(), 0) << id;
    EXPECT_EQ(list->currentText(), QStringLiteral("DAXO Tarn Series")) << id;
  }
  auto* progress = Find<QProgressBar>(*dialog, "1002");
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 100);
  EXPECT_EQ(progress->value(), 0);
}

// The controller's calls reach the widgets: locked while the worker runs, its error box owned
// by the dialog, everything back after it.
TEST_F(DialogTest, FailedUpdateShowsTheWorkersBoxAndGivesEveryControlBack) {
  m_device.SetUpdateMode(false);
  auto dialog = Open();
  BoxCatcher boxes;
  Click(*dialog, "1");
  EXPECT_EQ(State(*dialog), kUpdating);
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.seen().size() == 1; }, 10000));
  ExpectErrorBox(boxes.seen().back(), "Please use the firmware update mode.", dialog.get());
  EXPECT_TRUE(QTest::qWaitFor([&] { return State(*dialog) == kIdle; }, 5000)) << State(*dialog);
}

// Each area is read back as it is written: the step and status boxes show it, and the update
// completes after it. A device that cannot read back is updated all the same, and our box,
// with the information icon, says it was not verified. Three read-backs are answered late,
// within the wait, so the verification stays on screen long enough to be seen.
TEST_F(DialogTest, ShowsTheVerificationAndSaysWhenNoneWasPossible) {
  for (const bool readsBack : {true, false}) {
    if (readsBack) {
      auto late = sim::FaultRule::DelayAnswer(RequestKind::kReadFlash, 2, 300ms);
      late.count = 3;
      m_device.AddFault(late);
    } else {
      m_device.AddFault(sim::FaultRule::LimitReads(sim::FaultAction::kRefuseRead, 4));
    }
    auto dialog = Open();
    BoxCatcher boxes;
    bool verifyingShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      verifyingShown = verifyingShown ||
                       (Find<QLineEdit>(*dialog, "1006")->text() == QStringLiteral("Verify") &&
                        Status(*dialog).startsWith(QStringLiteral("Verifying flash memory  ")));
    });
    watch.start(1);
    Click(*dialog, "1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return State(*dialog) == kCompleted; }, kUpdateTimeoutMs));
    EXPECT_EQ(Status(*dialog), QStringLiteral("Version update completed."));
    EXPECT_EQ(verifyingShown, readsBack);
    if (readsBack) {
      QTest::qWait(200);
      EXPECT_TRUE(boxes.seen().empty());
      continue;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen().empty(); }, 10000));
    const SeenBox& box = boxes.seen().front();
    EXPECT_EQ(box.caption, QStringLiteral("DAXO R5x System v2.00 Updater"));
    EXPECT_EQ(box.text, QStringLiteral("The update is complete, but this device cannot read its "
                                       "flash memory back, so the update could not be verified."));
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_TRUE(box.okButton);
    EXPECT_EQ(box.owner, dialog.get());
  }
}

// Escape, "Exit" and the close box reach the controller: while an update runs, Escape does
// nothing and the others ask, with "No" as the default.
TEST_F(DialogTest, EscapeIsIgnoredAndClosingAsksWhileAnUpdateRuns) {
  m_device.AddFault(sim::FaultRule::SilentFrom(1));
  auto dialog = Open();
  Click(*dialog, "1");
  ASSERT_EQ(State(*dialog), kUpdating);
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_TRUE(dialog->isVisible());

  {
    BoxCatcher boxes(true, QMessageBox::No);
    Click(*dialog, "2");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Find<QPushButton>(*dialog, "2")->isEnabled());
    ASSERT_EQ(boxes.seen().size(), 1u);
    const SeenBox& question = boxes.seen()[0];
    EXPECT_EQ(question.caption, QStringLiteral("DAXO R5x System v2.00 Updater"));
    EXPECT_TRUE(question.text.startsWith(QStringLiteral("An update is running.")));
    EXPECT_EQ(question.buttons, 2);
    EXPECT_EQ(question.defaultButton, QMessageBox::No);
    EXPECT_EQ(question.owner, dialog.get());
  }
  {
    BoxCatcher boxes(true, QMessageBox::Yes);
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_EQ(boxes.seen().size(), 1u);
  }
}

TEST_F(DialogTest, ContextMenuOpensTheAboutBoxWithoutTheCopyNumber) {
  auto dialog = Open(2);
  QString item;
  QString caption;
  QString text;
  QString setText;
  bool okButton = false;
  // Steps on the UI thread while the menu and then the box run their own loops.
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      QAction* action = menu->actions().value(0);
      if (action == nullptr) return;
      item = action->text();
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
      return;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->inherits("tarn::CAboutDlg") && window->isVisible()) {
        caption = window->windowTitle();
        text = Find<QLineEdit>(*window, "1003")->text();
        setText = Find<QLineEdit>(*window, "1007")->text();
        auto* ok = Find<QPushButton>(*window, "1");
        okButton = ok->text() == QStringLiteral("OK") && ok->isDefault();
        QTest::mouseClick(ok, Qt::LeftButton);
      }
    }
  });
  driver.start(5);
  const QPoint where(dialog->width() / 2, 5);
  QContextMenuEvent event(QContextMenuEvent::Mouse, where, dialog->mapToGlobal(where));
  QApplication::sendEvent(dialog.get(), &event);
  EXPECT_EQ(item, QStringLiteral("About DAXO Tarn Series Updater(&A)..."));
  EXPECT_EQ(caption, QStringLiteral("About Tarn Series Updater"));
  EXPECT_EQ(text, QStringLiteral("DAXO R5x System v2.00 Updater"));
  EXPECT_EQ(
      setText,
      QStringLiteral("Firmware: system v2.00, stand-in image set: for the virtual device only"));
  EXPECT_TRUE(okButton);
}

// The virtual device seen as a device of another process: the stand-in set is refused with
// its box before anything is sent, without the tests' opt-in; a real set updates it.
class OutsideDeviceDialogTest : public DialogTest {
 protected:
  OutsideDeviceDialogTest() {
    std::vector<std::unique_ptr<platform::Backend>> backends;
    backends.push_back(std::make_unique<test::OutsideBackend>());
    platform::SetBackends(std::move(backends));
  }
  ~OutsideDeviceDialogTest() override { platform::SetBackends(platform::DefaultBackends()); }

  const test::StandInOptIn m_optIn{false};
};

TEST_F(OutsideDeviceDialogTest, TheStandInSetShowsTheBoxAndSendsNothing) {
  auto dialog = Open();
  // The last "DAXO Tarn Series" is preselected: the outside one, after the loopback.
  ASSERT_EQ(Find<QComboBox>(*dialog, "1001")->currentIndex(), 1);
  BoxCatcher boxes;
  Click(*dialog, "1");
  ASSERT_EQ(boxes.seen().size(), 1u);
  ExpectErrorBox(boxes.seen().back(),
                 "This updater carries only the stand-in firmware image set, which would leave a "
                 "real device unable to start, so nothing was sent to the device. Give it the "
                 "device maker's image set with --firmware PATH (see the README).",
                 dialog.get());
  EXPECT_EQ(State(*dialog), kIdle);
  QTest::qWait(50);
  EXPECT_TRUE(m_device.Received().empty());
}

TEST_F(OutsideDeviceDialogTest, ARealSetUpdatesTheDevice) {
  const auto images = test::RandomImages(21);
  auto storage = std::make_shared<std::vector<uint8_t>>();
  for (const auto& [id, bytes] : images)
    storage->insert(storage->end(), bytes.begin(), bytes.end());
  std::vector<FirmwareSet::Image> views;
  size_t at = 0;
  for (const auto& [id, bytes] : images) {
    views.push_back({id, std::span<const uint8_t>(*storage).subspan(at, bytes.size())});
    at += bytes.size();
  }
  const FirmwareSet set(SetSource::kFolder, "test", std::move(views), storage);
  ASSERT_FALSE(set.IsStandIn());
  auto dialog = Open(1, set);
  BoxCatcher boxes;
  Click(*dialog, "1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return State(*dialog) == kCompleted; }, 120000))
      << Status(*dialog).toStdString();
  EXPECT_EQ(Status(*dialog), QStringLiteral("Version update completed."));
  EXPECT_TRUE(m_device.VerifyFlash(sim::PlanExpectations(set)).ok);
}

}  // namespace
}  // namespace tarn::testing
