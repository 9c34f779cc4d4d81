#include "app/win32/about_dialog.h"

#include "app/win32/resource_ids.h"
#include "resources/product.h"

namespace tarn {

void CAboutDlg::DoModal(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, &DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The program's name, never with the copy's number.
      SetDlgItemTextA(window, IDC_ABOUT_TEXT, kProgramTitle);
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
