#include "app/win32/updater_app.h"

#include <windows.h>

#include <string>

#include "app/win32/common_controls.h"
#include "app/win32/resource_images.h"
#include "app/win32/updater_dialog.h"
#include "session/instance_refusal.h"

namespace tarn {
namespace {

// The executable's file name without its folder and extension.
std::string ApplicationName() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  name.erase(0, name.find_last_of("\\/") + 1);
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

void CT2vVazidavApp::InitInstance() {
  InitCommonControlClasses();
  const int claimed = ClaimInstanceNumber(m_instance);
  if (claimed <= 0) {
    // No owner window; the exclamation icon and the application's name, as for any OK box
    // that names no icon.
    MessageBoxA(nullptr, InstanceRefusalText(claimed, m_instance.problem()).c_str(),
                ApplicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  InstanceNumber = claimed;
  CT2vVazidavDlg dialog(InstanceNumber, m_images ? *m_images : ResourceImages());
  dialog.DoModal();
}

}  // namespace tarn
