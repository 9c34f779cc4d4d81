// The About box on Windows: template 100, the icon, the program's name, the image set's line
// and "OK".
#pragma once

#include <windows.h>

#include <string>

namespace tarn {

class CAboutDlg {
 public:
  // Runs the box modally over `owner` until "OK" or closing ends it.
  void DoModal(HWND owner, const std::string& setText);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tarn
