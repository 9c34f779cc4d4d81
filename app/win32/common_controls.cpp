#include "app/win32/common_controls.h"

#include <windows.h>

#include <commctrl.h>

namespace tarn {

void InitCommonControlClasses() {
  INITCOMMONCONTROLSEX classes{};
  classes.dwSize = sizeof classes;    // 8 bytes
  classes.dwICC = ICC_WIN95_CLASSES;  // 0xFF
  InitCommonControlsEx(&classes);
}

}  // namespace tarn
