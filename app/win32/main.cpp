// tarn-updater.exe: the desktop updater on Windows. Its one option is --firmware PATH.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/win32/updater_app.h"
#include "firmware/set_loader.h"
#include "session/dialog_command_line.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No console: every answer is a box.
  const tarn::DialogCommandLine line =
      tarn::ParseDialogCommandLine(std::vector<std::string>(__argv + 1, __argv + __argc));
  if (!line.error.empty()) {
    MessageBoxA(nullptr, line.error.c_str(), "Error", MB_OK | MB_ICONHAND);
    return 2;
  }
  if (line.help || line.version) {
    MessageBoxA(nullptr, tarn::DialogUsage().c_str(), "tarn-updater", MB_OK);
    return 0;
  }
  tarn::LoadedSet loaded;
  tarn::CT2vVazidavApp app;
  if (line.firmwarePath) {
    // Checked whole before the dialog can open any port.
    loaded = tarn::LoadFirmwareSet(*line.firmwarePath);
    if (!loaded.set) {
      MessageBoxA(nullptr, loaded.error.c_str(), "Error", MB_OK | MB_ICONHAND);
      return 2;
    }
    app.UseImages(*loaded.set);
  }
  app.InitInstance();
  return 0;
}
