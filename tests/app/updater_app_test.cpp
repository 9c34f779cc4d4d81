#include "app/updater_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/updater_dialog.h"
#include "box_catcher.h"

namespace tarn::testing {
namespace {

std::vector<CT2vVazidavDlg*> UpdaterDialogs() {
  std::vector<CT2vVazidavDlg*> dialogs;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<CT2vVazidavDlg*>(window)) dialogs.push_back(dialog);
  }
  return dialogs;
}

TEST(UpdaterApp, AllNumbersTakenShowsTheRefusalAndNoWindow) {
  CT2vVazidavApp app([](InstanceClaim&) { return 0; });
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
  EXPECT_EQ(box.text,
            QStringLiteral("It is forbidden to launch more than 20 instance of this application."));
  EXPECT_EQ(box.caption, QStringLiteral("app_tests"));  // the executable's name
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.okButton);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(dialogsWhileRefused, 0u);
}

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
