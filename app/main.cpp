// tarn-updater: the desktop updater. Its one option is --firmware PATH.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

#include "app/updater_app.h"
#include "firmware/embedded_images.h"
#include "firmware/set_loader.h"
#include "session/dialog_command_line.h"

int main(int argc, char** argv) {
  const tarn::DialogCommandLine line =
      tarn::ParseDialogCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::fprintf(stderr, "tarn-updater: %s\n", line.error.c_str());
    return 2;
  }
  if (line.help) {
    std::printf("%s", tarn::DialogUsage().c_str());
    return 0;
  }
  if (line.version) {
    std::printf("tarn-updater %s\nBuilt-in firmware: %s\n", TARN_VERSION,
                tarn::DescribeSet(tarn::EmbeddedImages()).c_str());
    return 0;
  }
  // Qt would act on options of its own; only the program's name is handed on.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  tarn::LoadedSet loaded;
  tarn::CT2vVazidavApp app;
  if (line.firmwarePath) {
    // Checked whole before the dialog can open any port.
    loaded = tarn::LoadFirmwareSet(*line.firmwarePath);
    if (!loaded.set) {
      std::fprintf(stderr, "tarn-updater: %s\n", loaded.error.c_str());
      QMessageBox::critical(nullptr, QStringLiteral("Error"), QString::fromLocal8Bit(loaded.error));
      return 2;
    }
    app.UseImages(*loaded.set);
  }
  app.InitInstance();
  return 0;
}
