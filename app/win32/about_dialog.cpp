#include "app/win32/about_dialog.h"

#include "app/win32/resource_ids.h"
#include "resources/product.h"

namespace tarn {

void CAboutDlg::DoModal(HWND owner, const std::string& setText) {
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, &DialogProc,
                  reinterpret_cast<LPARAM>(setText.c_str()));
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // The program's name, never with the copy's number.
      SetDlgItemTextA(window, IDC_ABOUT_TEXT, kProgramTitle);
      SetDlgItemTextA(window, IDC_ABOUT_SET, reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tarn
