// tarn-updater.exe: the desktop updater on Windows. It reads no command line.
#include <windows.h>

#include "app/win32/updater_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  tarn::CT2vVazidavApp app;
  app.InitInstance();
  return 0;
}
