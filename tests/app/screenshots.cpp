// Writes pictures of the updater dialog (idle, updating, completed) and of the About box into
// the folder given, against a virtual device: app_screenshots FOLDER.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <cstdio>

#include "app/about_dialog.h"
#include "app/updater_dialog.h"
#include "firmware/embedded_images.h"
#include "sim/virtual_device.h"
#include "tests/support/product_loopback.h"

namespace {

bool Save(QWidget& window, const QString& folder, const char* name) {
  const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  if (!window.grab().save(path, "PNG")) {
    std::fprintf(stderr, "app_screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

int Run(const QString& folder) {
  tarn::sim::VirtualDevice device;
  const tarn::test::ProductLoopback loopback(device);
  int failures = 0;
  {
    tarn::CT2vVazidavDlg dialog(1, tarn::EmbeddedImages());
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
    failures += !Save(dialog, folder, "idle");

    {
      tarn::CAboutDlg about(tarn::AboutSetText(tarn::EmbeddedImages()), &dialog);
      about.show();
      if (!QTest::qWaitForWindowExposed(&about)) return 1;
      failures += !Save(about, folder, "about");
    }

    QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("1")), Qt::LeftButton);
    // Well into the largest image, so the bar shows real progress.
    auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("1002"));
    auto* step = dialog.findChild<QLineEdit*>(QStringLiteral("1006"));
    const bool updating = QTest::qWaitFor(
        [&] {
          return step->text() == QStringLiteral("9/10") &&
                 progress->value() >
                     progress->minimum() + (progress->maximum() - progress->minimum()) * 2 / 5;
        },
        300000);
    failures += !updating || !Save(dialog, folder, "updating");

    auto* status = dialog.findChild<QLineEdit*>(QStringLiteral("1003"));
    const bool completed = QTest::qWaitFor(
        [&] { return status->text() == QStringLiteral("Version update completed."); }, 300000);
    QTest::qWait(50);
    failures += !completed || !Save(dialog, folder, "completed");
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  return Run(QString::fromLocal8Bit(argv[1]));
}
