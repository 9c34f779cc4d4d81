// tarn-updater: the desktop updater. It reads no command line.
#include <QApplication>

#include "app/updater_app.h"

int main(int, char** argv) {
  // Qt would act on options of its own; only the program's name is handed on.
  int argc = 1;
  QApplication application(argc, argv);
  tarn::CT2vVazidavApp app;
  app.InitInstance();
  return 0;
}
