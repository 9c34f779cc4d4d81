// Drives windows of this process the way a user's input or another program would: by window
// messages alone (control ids, BM_CLICK, WM_GETTEXT, IsWindowEnabled), finding boxes by their
// caption. For the Win32 dialog's tests, which run it on a UI thread of its own.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/wait_until.h"

namespace tarn::test {

using namespace std::chrono_literals;

HWND Item(HWND dialog, int id);
// A click on control `id`, posted: the handler may open a box that waits for the user.
void Click(HWND dialog, int id);
// A key press (down and up) posted to `window`, as the keyboard would deliver it.
void PressKey(HWND window, WPARAM key);
std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
// Returns once the window's thread has handled everything posted to it before.
void Flush(HWND dialog);

// The visible top-level dialog window of thread `thread` captioned `caption`, or nullptr.
HWND FindWindowOf(DWORD thread, const std::string& caption);
HWND WaitForWindowOf(DWORD thread, const std::string& caption,
                     std::chrono::milliseconds timeout = 10s);
// The same among the windows that have an owner: boxes, not the window they belong to.
HWND FindBoxOf(DWORD thread, const std::string& caption);
HWND WaitForBoxOf(DWORD thread, const std::string& caption,
                  std::chrono::milliseconds timeout = 10s);

// What a message box shows.
struct BoxContents {
  std::string text;
  HWND owner;
  std::vector<std::string> buttons;  // visible buttons' texts, in window order
  std::string defaultButton;
  HWND iconControl;  // the static that shows its icon, or nullptr
};
BoxContents InspectBox(HWND box);
// Whether the box shows the system icon `id` (IDI_HAND, ...). The icon of another process's
// box cannot be used here, so there the pixels on the screen are compared with the icon's own.
bool ShowsSystemIcon(const BoxContents& box, LPCSTR id);
// Presses the box's button `id` (IDOK, IDYES, IDNO, ...).
void Answer(HWND box, int id);

}  // namespace tarn::test
