// Writes pictures of the Win32 updater dialog (idle, updating, completed), of the About box, of
// an error box and of the stop question into the folder given, as BMP files, against a virtual
// device: win32_screenshots FOLDER. A box is drawn together with the dialog it belongs to.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/win32/common_controls.h"
#include "app/win32/resource_ids.h"
#include "sim/virtual_device.h"
#include "tests/app_win32/dialog_runner.h"
#include "tests/app_win32/window_driver.h"
#include "tests/support/product_loopback.h"

namespace tarn::test {
namespace {

RECT Bounds(const std::vector<HWND>& windows) {
  RECT bounds{};
  for (HWND window : windows) {
    RECT rect;
    GetWindowRect(window, &rect);
    UnionRect(&bounds, &bounds, &rect);
  }
  return bounds;
}

// The screen's pixels under `windows`, bottom-up 24-bit BMP.
bool Save(const std::vector<HWND>& windows, const std::string& folder, const char* name) {
  // Whatever was posted is drawn before the pixels are read.
  for (HWND window : windows)
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  const RECT bounds = Bounds(windows);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageBytes;
  const std::string path = folder + "/" + name + ".bmp";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  bool written = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                 std::fwrite(bits, 1, imageBytes, out) == imageBytes;
  if (out != nullptr) written = std::fclose(out) == 0 && written;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::printf("%s%s\n", path.c_str(), written ? "" : ": cannot write");
  return written;
}

// A window that does not answer within a few seconds is hung: the pictures are then missing.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

int ProgressPercent(HWND dialog) {
  const HWND progress = Item(dialog, IDC_PROGRESS);
  const auto high = Send(progress, PBM_GETRANGE, FALSE);
  const auto low = Send(progress, PBM_GETRANGE, TRUE);
  const auto position = Send(progress, PBM_GETPOS);
  return high > low ? static_cast<int>((position - low) * 100 / (high - low)) : 0;
}

int Run(const std::string& folder) {
  sim::VirtualDevice device;
  const ProductLoopback loopback(device);
  int failures = 0;
  {
    DialogRunner runner;
    const HWND dialog = runner.Window();
    if (dialog == nullptr) return 1;
    // In the middle of the screen, where the system puts the boxes, so they overlap it.
    RECT frame;
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    Flush(dialog);
    failures += !Save({dialog}, folder, "idle");

    PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const HWND about = WaitForBoxOf(runner.Thread(), "About Tarn Series Updater");
    failures += about == nullptr || !Save({dialog, about}, folder, "about");
    if (about != nullptr) Answer(about, IDOK);

    // No output port chosen: the first error box a user can meet.
    Send(Item(dialog, IDC_MIDI_OUT), CB_SETCURSEL, static_cast<WPARAM>(-1));
    Click(dialog, IDOK);
    const HWND error = WaitForBoxOf(runner.Thread(), "Error");
    failures += error == nullptr || !Save({dialog, error}, folder, "error");
    if (error != nullptr) Answer(error, IDOK);
    Click(dialog, IDC_RESCAN);
    WaitUntil([&] { return FindBoxOf(runner.Thread(), "Error") == nullptr; });
    Flush(dialog);

    Click(dialog, IDOK);
    // Well into the largest image, so the bar shows real progress.
    const bool updating = WaitUntil(
        [&] { return ItemText(dialog, IDC_STEP) == "9/10" && ProgressPercent(dialog) > 40; }, 300s);
    failures += !updating || !Save({dialog}, folder, "updating");

    Click(dialog, IDCANCEL);
    const HWND question = WaitForBoxOf(runner.Thread(), Text(dialog));
    failures += question == nullptr || !Save({dialog, question}, folder, "stop_question");
    if (question != nullptr) Answer(question, IDNO);

    const bool completed = WaitUntil(
        [&] { return ItemText(dialog, IDC_STATUS) == "Version update completed."; }, 300s);
    failures += !completed || !Save({dialog}, folder, "completed");
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tarn::test

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  // Each picture's line as it is written, also into a pipe.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  tarn::InitCommonControlClasses();
  return tarn::test::Run(argv[1]);
}
