#include "app/updater_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/updater_dialog.h"
#include "box_catcher.h"
#include "tests/support/test_names.h"

namespace tarn::testing {
namespace {

std::vector<CT2vVazidavDlg*> UpdaterDialogs() {
  std::vector<CT2vVazidavDlg*> dialogs;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<CT2vVazidavDlg*>(window)) dialogs.push_back(dialog);
  }
  return dialogs;
}

struct Refusal {
  const char* name;
  int32_t claimResult;
  const char* text;
  LockProblem problem = {};  // what the claim found in the way
};

using test::PrintTo;

class UpdaterAppRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(UpdaterAppRefusal, ShowsItsTextAndNoWindow) {
  const Refusal& refusal = GetParam();
  CT2vVazidavApp app([&refusal](InstanceClaim& claim) {
    claim.Refuse(refusal.problem);
    return refusal.claimResult;
  });
  BoxCatcher boxes;
  size_t dialogsWhileRefused = 0;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout,
                   [&] { dialogsWhileRefused += UpdaterDialogs().size(); });
  watcher.start(1);
  app.InitInstance();
  EXPECT_EQ(app.InstanceNumber, 0);
  ASSERT_EQ(boxes.seen().size(), 1u);
  const SeenBox& box = boxes.seen()[0];
  EXPECT_EQ(box.text, QString::fromLatin1(GetParam().text));
  EXPECT_EQ(box.caption, QStringLiteral("app_tests"));  // the executable's name
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.okButton);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(dialogsWhileRefused, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdaterAppRefusal,
    ::testing::Values(
        Refusal{"TwentyCopiesRunning", 0,
                "It is forbidden to launch more than 20 instance of this application."},
        // No lock folder could be used: not the twenty-copies text, which would be untrue.
        Refusal{"NoLockFolder", kNoInstanceLock,
                "Can't start: no folder for the instance locks of this updater can be used "
                "(XDG_RUNTIME_DIR or /tmp)."},
        // The file that was in the way, and what to do about it.
        Refusal{"ForeignLockFile",
                kNoInstanceLock,
                "The lock file /run/user/1000/DAXO R5x System v2.00 Updater.lock cannot be "
                "opened (permission denied); it was probably left by an updater run as another "
                "user (with sudo). Remove it (sudo rm '/run/user/1000/DAXO R5x System v2.00 "
                "Updater.lock') and try again.",
                {LockProblem::Kind::kFileForeign,
                 "/run/user/1000/DAXO R5x System v2.00 Updater.lock"}}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(UpdaterApp, ClaimedNumberNamesTheDialogWhichEndsStartUp) {
  CT2vVazidavApp app([](InstanceClaim&) { return 3; });
  QString title;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (CT2vVazidavDlg* dialog : UpdaterDialogs()) {
      if (!dialog->isVisible()) continue;
      title = dialog->windowTitle();
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("2")), Qt::LeftButton);
    }
  });
  closer.start(5);
  app.InitInstance();
  EXPECT_EQ(app.InstanceNumber, 3);
  EXPECT_EQ(title, QStringLiteral("DAXO R5x System v2.00 Updater (3)"));
  EXPECT_TRUE(UpdaterDialogs().empty());
}

}  // namespace
}  // namespace tarn::testing
