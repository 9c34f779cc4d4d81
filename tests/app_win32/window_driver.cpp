#include "tests/app_win32/window_driver.h"

#include <cstdint>
#include <cstring>
#include <thread>

namespace tarn::test {
namespace {

// A thread that does not answer within this is hung; a test then fails instead of hanging.
constexpr UINT kAnswerTimeoutMs = 10000;

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct Search {
  std::string caption;
  bool ownedOnly;
  HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (IsWindowVisible(window) && ClassName(window) == "#32770" &&
      (!search->ownedOnly || GetWindow(window, GW_OWNER) != nullptr) &&
      Text(window) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

}  // namespace

HWND Item(HWND dialog, int id) {
  return GetDlgItem(dialog, id);
}

void Click(HWND dialog, int id) {
  PostMessageA(Item(dialog, id), BM_CLICK, 0, 0);
}

void PressKey(HWND window, WPARAM key) {
  const UINT scan = MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  PostMessageA(window, WM_KEYDOWN, key, 1 | static_cast<LPARAM>(scan) << 16);
  PostMessageA(window, WM_KEYUP, key, 1 | static_cast<LPARAM>(scan) << 16 | 3LL << 30);
}

std::string Text(HWND window) {
  char text[1024] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                      kAnswerTimeoutMs, &length);
  return std::string(text, length);
}

std::string ItemText(HWND dialog, int id) {
  return Text(Item(dialog, id));
}

bool Enabled(HWND dialog, int id) {
  return IsWindowEnabled(Item(dialog, id)) != FALSE;
}

void Flush(HWND dialog) {
  // An edit's length limit changes nothing a user sees; a new value posted last shows that
  // every message posted before it has been handled.
  static WPARAM marker = 4096;
  HWND edit = Item(dialog, 1006);
  const WPARAM expected = ++marker;
  PostMessageA(edit, EM_SETLIMITTEXT, expected, 0);
  WaitUntil([&] {
    DWORD_PTR limit = 0;
    SendMessageTimeoutA(edit, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &limit);
    return limit == expected;
  });
}

namespace {

HWND Find(DWORD thread, const std::string& caption, bool ownedOnly) {
  Search search{caption, ownedOnly, nullptr};
  EnumThreadWindows(thread, &MatchCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitFor(DWORD thread, const std::string& caption, bool ownedOnly,
             std::chrono::milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Find(thread, caption, ownedOnly)) != nullptr; }, timeout);
  return found;
}

}  // namespace

HWND FindWindowOf(DWORD thread, const std::string& caption) {
  return Find(thread, caption, false);
}

HWND WaitForWindowOf(DWORD thread, const std::string& caption, std::chrono::milliseconds timeout) {
  return WaitFor(thread, caption, false, timeout);
}

HWND FindBoxOf(DWORD thread, const std::string& caption) {
  return Find(thread, caption, true);
}

HWND WaitForBoxOf(DWORD thread, const std::string& caption, std::chrono::milliseconds timeout) {
  return WaitFor(thread, caption, true, timeout);
}

BoxContents InspectBox(HWND box) {
  BoxContents contents{ItemText(box, 0xFFFF), GetWindow(box, GW_OWNER), {}, {}, nullptr};
  std::vector<HWND> children;
  EnumChildWindows(box, &CollectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (ClassName(child) == "Button" && IsWindowVisible(child)) {
      contents.buttons.push_back(Text(child));
      if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) contents.defaultButton = Text(child);
    }
    if (ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
      contents.iconControl = child;
    }
  }
  return contents;
}

namespace {

// The screen's pixels in `rect`, top-down, 32 bits each.
std::vector<uint32_t> ScreenPixels(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// `icon` drawn at the top left of `width` x `height` pixels of `background`.
std::vector<uint32_t> IconPixels(HICON icon, int width, int height, uint32_t background) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, background);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, bitmap);
  DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
  GdiFlush();
  std::memcpy(pixels.data(), bits, pixels.size() * sizeof pixels[0]);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  return pixels;
}

}  // namespace

bool ShowsSystemIcon(const BoxContents& box, LPCSTR id) {
  if (box.iconControl == nullptr) return false;
  const HICON expected = LoadIconA(nullptr, id);
  DWORD_PTR shown = 0;
  SendMessageTimeoutA(box.iconControl, STM_GETICON, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &shown);
  if (reinterpret_cast<HICON>(shown) == expected) return true;
  RECT rect;
  GetClientRect(box.iconControl, &rect);
  MapWindowPoints(box.iconControl, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  const std::vector<uint32_t> screen = ScreenPixels(rect);
  // The system icons leave their top left corner clear: the box's own background shows there.
  const std::vector<uint32_t> drawn =
      IconPixels(expected, rect.right - rect.left, rect.bottom - rect.top, screen.at(0));
  return screen == drawn;
}

void Answer(HWND box, int id) {
  PostMessageA(Item(box, id), BM_CLICK, 0, 0);
}

}  // namespace tarn::test
