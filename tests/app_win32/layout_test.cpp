// Template 103 as the system laid it out: every control where the template puts it, in dialog
// units of the dialog's own font, with the template's styles and tab order.
#include <gtest/gtest.h>

#include <string>

#include "app/win32/resource_ids.h"
#include "sim/virtual_device.h"
#include "tests/app_win32/dialog_runner.h"
#include "tests/app_win32/window_driver.h"
#include "tests/support/product_loopback.h"

namespace tarn::test {
namespace {

struct TemplateControl {
  int id;  // -1: a static without an id, found by its text
  const char* className;
  const char* text;
  RECT units;   // left, top, right, bottom in dialog units
  LONG styles;  // beyond child and visible
};

// The pixel rectangle back in dialog units, as "x,y widthxheight". The dialog manager maps the
// position and the size each on its own, so they are mapped back each on its own; exact for
// base units of at least 4 x 8 pixels.
std::string InUnits(RECT pixels, int baseX, int baseY) {
  return std::to_string(MulDiv(pixels.left, 4, baseX)) + "," +
         std::to_string(MulDiv(pixels.top, 8, baseY)) + " " +
         std::to_string(MulDiv(pixels.right - pixels.left, 4, baseX)) + "x" +
         std::to_string(MulDiv(pixels.bottom - pixels.top, 8, baseY));
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

struct Found {
  HWND dialog;
  const char* text;
  HWND window;
};

BOOL CALLBACK FindStatic(HWND child, LPARAM data) {
  auto* found = reinterpret_cast<Found*>(data);
  if (GetDlgCtrlID(child) == 0xFFFF || GetDlgCtrlID(child) == -1) {
    if (Text(child) == found->text) {
      found->window = child;
      return FALSE;
    }
  }
  return TRUE;
}

HWND ControlOf(HWND dialog, const TemplateControl& control) {
  if (control.id != -1) return Item(dialog, control.id);
  Found found{dialog, control.text, nullptr};
  EnumChildWindows(dialog, &FindStatic, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

bool RunsOnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// A combo box's window is its closed part; on Windows the dropped-down rectangle is the whole
// box, the height the template gives it.
RECT PixelRect(HWND dialog, HWND control, const std::string& className) {
  RECT rect;
  GetWindowRect(control, &rect);
  if (className == "ComboBox" && !RunsOnWine())
    SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rect));
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

constexpr LONG kStyleMask = 0xFFFF | WS_TABSTOP | WS_GROUP | WS_BORDER | WS_VSCROLL | WS_DISABLED;

TEST(Win32DialogLayout, ControlsFollowTemplate103) {
  sim::VirtualDevice device;
  const ProductLoopback loopback(device);
  {
    DialogRunner runner;
    const HWND dialog = runner.Window();
    RECT base{0, 0, 4, 8};
    MapDialogRect(dialog, &base);
    const int baseX = base.right;
    const int baseY = base.bottom;
    ASSERT_GE(baseX, 4);
    ASSERT_GE(baseY, 8);

    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(InUnits(client, baseX, baseY), "0,0 239x161");
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_POPUP | WS_CAPTION | WS_SYSMENU);
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    const TemplateControl controls[] = {
        {IDOK, "Button", "Execute", {119, 138, 169, 154}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, "Button", "Exit", {182, 138, 232, 154}, BS_PUSHBUTTON | WS_TABSTOP},
        {-1, "Static", "MIDI IN", {7, 7, 232, 15}, SS_LEFT | WS_GROUP},
        {-1, "Static", "MIDI OUT", {7, 37, 232, 45}, SS_LEFT | WS_GROUP},
        {IDC_MIDI_IN,
         "ComboBox",
         "",
         {7, 15, 232, 130},
         CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
        {IDC_MIDI_OUT,
         "ComboBox",
         "",
         {7, 45, 232, 160},
         CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
        {IDC_PROGRESS, "msctls_progress32", "", {7, 107, 232, 121}, WS_BORDER},
        {IDC_STATUS, "Edit", "", {12, 91, 232, 103}, ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP},
        {IDC_RESCAN, "Button", "Rescan Device", {145, 65, 232, 81}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDC_PICTURE, "Static", "", {7, 134, 27, 154}, SS_BITMAP},
        {IDC_STEP, "Edit", "", {12, 78, 41, 90}, ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP},
    };
    for (const TemplateControl& c : controls) {
      SCOPED_TRACE(c.id == -1 ? std::string(c.text) : std::to_string(c.id));
      const HWND control = ControlOf(dialog, c);
      ASSERT_NE(control, nullptr);
      char className[64] = {};
      GetClassNameA(control, className, sizeof className);
      EXPECT_STREQ(className, c.className);
      const std::string kind = className;
      const RECT pixels = PixelRect(dialog, control, kind);
      if (kind == "ComboBox" && RunsOnWine()) {
        // Wine reports neither the open list's height as the template gives it nor a scroll
        // bar style on the list: there the box's place and width are what can be checked.
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        EXPECT_EQ(pixels.left, expected.left);
        EXPECT_EQ(pixels.top, expected.top);
        EXPECT_EQ(pixels.right, expected.right);
      } else {
        EXPECT_EQ(InUnits(pixels, baseX, baseY), Describe(c.units));
      }
      // A list shows its selection instead of the template's empty text.
      if (kind != "ComboBox") {
        EXPECT_EQ(Text(control), c.text);
      }
      const LONG controlStyle = GetWindowLongA(control, GWL_STYLE);
      EXPECT_TRUE(controlStyle & WS_VISIBLE);
      EXPECT_EQ(GetWindowLongA(control, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
      // Styles that their controls take over: the dialog manager moves the default-button
      // style as the focus moves, a combo box hands its scroll bar to its list, and the
      // progress bar draws its own edge.
      LONG mask = kStyleMask;
      if (kind == "Button") mask &= ~BS_DEFPUSHBUTTON;
      if (kind == "msctls_progress32") mask &= ~WS_BORDER;
      if (kind == "ComboBox") {
        mask &= ~WS_VSCROLL;
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(control, &info));
        if (!RunsOnWine()) {
          EXPECT_TRUE(GetWindowLongA(info.hwndList, GWL_STYLE) & WS_VSCROLL);
        }
      }
      EXPECT_EQ(controlStyle & mask, c.styles & mask);
    }

    // Template order is the tab order, from "Execute", which has the focus.
    const int order[] = {IDCANCEL,   IDC_MIDI_IN, IDC_MIDI_OUT, IDC_STATUS,
                         IDC_RESCAN, IDC_STEP,    IDOK};
    HWND current = Item(dialog, IDOK);
    for (const int id : order) {
      current = GetNextDlgTabItem(dialog, current, FALSE);
      EXPECT_EQ(GetDlgCtrlID(current), id);
    }
  }
}

}  // namespace
}  // namespace tarn::test
