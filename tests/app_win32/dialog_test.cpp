// The Win32 dialog in this process, in front of the virtual device behind the loopback ports,
// driven from the test's thread by window messages only.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>

#include "app/win32/resource_ids.h"
#include "sim/virtual_device.h"
#include "tests/app_win32/dialog_runner.h"
#include "tests/app_win32/window_driver.h"
#include "tests/support/dialog_controls.h"
#include "tests/support/environment.h"
#include "tests/support/product_loopback.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

const std::string kTitle = "DAXO R5x System v2.00 Updater";

Controls State(HWND dialog) {
  return {Enabled(dialog, IDC_MIDI_IN), Enabled(dialog, IDC_MIDI_OUT), Enabled(dialog, IDOK),
          Enabled(dialog, IDC_RESCAN)};
}

bool WaitForState(HWND dialog, Controls state, std::chrono::milliseconds timeout = 10s) {
  return WaitUntil([&] { return State(dialog) == state; }, timeout);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

class Win32DialogTest : public testing::Test {
 protected:
  Win32DialogTest() { Connect({}); }

  void Connect(const sim::DeviceConfig& config) {
    m_loopback.reset();
    m_device = std::make_unique<sim::VirtualDevice>(config);
    m_loopback.emplace(*m_device);
  }

  std::unique_ptr<sim::VirtualDevice> m_device;
  std::optional<ProductLoopback> m_loopback;
};

// A box as every box of the dialog and the engine is: owned by the dialog, with the icon and the
// buttons its kind has.
void ExpectBox(HWND box, HWND dialog, const std::string& text, LPCSTR icon,
               const std::vector<std::string>& buttons = {"OK"}) {
  ASSERT_NE(box, nullptr) << "no box for: " << text;
  const BoxContents contents = InspectBox(box);
  EXPECT_EQ(contents.text, text);
  EXPECT_EQ(contents.owner, dialog);
  EXPECT_EQ(contents.buttons, buttons);
  EXPECT_TRUE(ShowsSystemIcon(contents, icon));
}

// An error box: caption "Error", the stop icon and one OK button.
void ExpectErrorBox(HWND box, HWND dialog, const std::string& text) {
  ExpectBox(box, dialog, text, IDI_HAND);
}

// Waits for the update to complete, letting `watch` look at the dialog each time until then.
bool WaitForCompletion(
    HWND dialog, const std::function<void()>& watch = [] {}) {
  return WaitUntil(
      [&] {
        watch();
        return ItemText(dialog, IDC_STATUS) == "Version update completed.";
      },
      300s);
}

TEST_F(Win32DialogTest, FullUpdateEndsCompletedAndRescanEnablesExecute) {
  DialogRunner runner;
  const HWND dialog = runner.Window();
  EXPECT_EQ(Text(dialog), kTitle);
  EXPECT_EQ(State(dialog), kIdle);
  for (const int list : {IDC_MIDI_IN, IDC_MIDI_OUT}) {
    EXPECT_EQ(Send(Item(dialog, list), CB_GETCOUNT), 1);
    EXPECT_EQ(Send(Item(dialog, list), CB_GETCURSEL), 0);
    EXPECT_EQ(ItemText(dialog, list), "DAXO Tarn Series");
  }
  EXPECT_EQ(Send(Item(dialog, IDC_PROGRESS), PBM_GETRANGE, FALSE), 100);

  Click(dialog, IDOK);
  ASSERT_TRUE(WaitForCompletion(dialog)) << ItemText(dialog, IDC_STATUS);
  EXPECT_TRUE(WaitForState(dialog, kCompleted)) << State(dialog);
  EXPECT_TRUE(Enabled(dialog, IDCANCEL));
  EXPECT_EQ(ItemText(dialog, IDC_STEP), "10/10");
  const HWND progress = Item(dialog, IDC_PROGRESS);
  EXPECT_EQ(Send(progress, PBM_GETPOS), Send(progress, PBM_GETRANGE, FALSE));
  EXPECT_EQ(FindBoxOf(runner.Thread(), "Error"), nullptr);

  // Rescan: "Execute" back, both lists back on the preferred port.
  for (const int list : {IDC_MIDI_IN, IDC_MIDI_OUT})
    Send(Item(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(-1));
  Click(dialog, IDC_RESCAN);
  EXPECT_TRUE(WaitForState(dialog, kIdle)) << State(dialog);
  for (const int list : {IDC_MIDI_IN, IDC_MIDI_OUT})
    EXPECT_EQ(Send(Item(dialog, list), CB_GETCURSEL), 0);
}

// Each area is read back as it is written, and shown; a device that cannot read back is
// updated all the same, and our box, owned by the dialog with the information icon, says the
// update could not be verified. Three read-backs are answered late, within the wait, so the
// verification stays on screen long enough to be seen however busy the machine is.
TEST_F(Win32DialogTest, ShowsTheVerificationAndSaysWhenNoneWasPossible) {
  for (const bool readsBack : {true, false}) {
    sim::DeviceConfig config;
    if (readsBack) {
      config.faults.push_back(sim::FaultRule::DelayAnswer(RequestKind::kReadFlash, 2, 300ms));
      config.faults.back().count = 3;
    } else {
      config.faults.push_back(sim::FaultRule::LimitReads(sim::FaultAction::kRefuseRead, 4));
    }
    Connect(config);
    DialogRunner runner;
    const HWND dialog = runner.Window();
    Click(dialog, IDOK);
    bool verifyingShown = false;
    ASSERT_TRUE(WaitForCompletion(dialog, [&] {
      verifyingShown = verifyingShown ||
                       (ItemText(dialog, IDC_STEP) == "Verify" &&
                        ItemText(dialog, IDC_STATUS).rfind("Verifying flash memory  ", 0) == 0);
    })) << ItemText(dialog, IDC_STATUS);
    EXPECT_EQ(verifyingShown, readsBack);
    EXPECT_EQ(FindBoxOf(runner.Thread(), "Error"), nullptr);
    if (readsBack) {
      EXPECT_EQ(ItemText(dialog, IDC_STEP), "10/10");
      continue;
    }
    const HWND box = WaitForBoxOf(runner.Thread(), kTitle);
    ExpectBox(box, dialog,
              "The update is complete, but this device cannot read its flash memory back, so the "
              "update could not be verified.",
              IDI_ASTERISK);
    if (box == nullptr) continue;
    Answer(box, IDOK);
    EXPECT_TRUE(WaitForState(dialog, kCompleted)) << State(dialog);
  }
}

// Every error box of the dialog, and the engine's for each kind of device fault: shown, then
// every control back.
struct ErrorCase {
  const char* name;
  sim::DeviceConfig device;
  int unselect;  // a list whose selection is cleared first, or 0
  Timing timing;
  const char* text;
  bool standInAllowed = true;  // TARN_ALLOW_STAND_IN=1: the ports decide
};

using test::PrintTo;

Timing Shortened(std::chrono::milliseconds Timing::*wait, std::chrono::milliseconds value) {
  Timing timing = FastTiming();
  timing.*wait = value;
  return timing;
}

sim::DeviceConfig Faulty(sim::FaultRule rule) {
  sim::DeviceConfig config;
  config.faults.push_back(rule);
  return config;
}

sim::FaultRule Ignore(RequestKind kind) {
  sim::FaultRule rule;
  rule.action = sim::FaultAction::kIgnore;
  rule.kind = kind;
  rule.count = sim::kForever;
  return rule;
}

std::vector<ErrorCase> ErrorCases() {
  sim::DeviceConfig notInUpdateMode;
  notInUpdateMode.updateMode = false;
  sim::DeviceConfig foreign;
  foreign.device.identity = {0x01, 0x02, 0x03, 0x04};
  using namespace std::chrono_literals;
  return {
      {"no_output", {}, IDC_MIDI_OUT, FastTiming(), "Can't open MIDI Out device."},
      {"no_input", {}, IDC_MIDI_IN, FastTiming(), "Can't open MIDI In device."},
      // No output selected is the mapper, a device of the system: never the stand-in set.
      {"stand_in_to_the_mapper",
       {},
       IDC_MIDI_OUT,
       FastTiming(),
       "This updater carries only the stand-in firmware image set, which would leave a real "
       "device unable to start, so nothing was sent to the device. Give it the device maker's "
       "image set with --firmware PATH (see the README).",
       false},
      {"not_in_update_mode", notInUpdateMode, 0, FastTiming(),
       "Please use the firmware update mode."},
      {"foreign_device", foreign, 0, FastTiming(), "Illegal device connected."},
      {"silent_device", Faulty(sim::FaultRule::SilentFrom(1)), 0,
       Shortened(&Timing::answerWait, 300ms), "Time out error(1)"},
      {"erase_unanswered", Faulty(Ignore(RequestKind::kEraseFlash)), 0,
       Shortened(&Timing::eraseWait, 300ms), "Time out error(3)"},
      {"blocks_unanswered", Faulty(Ignore(RequestKind::kWriteBlock)), 0,
       Shortened(&Timing::blockWait, 30ms), "Time out error(2)"},
      {"blocks_refused",
       Faulty(sim::FaultRule::AnswerWithStatus(RequestKind::kWriteBlock, 1, sim::kForever)), 0,
       FastTiming(), "Transfer error occurred."},
  };
}

class Win32DialogErrors : public Win32DialogTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(Win32DialogErrors, ShowTheirBoxAndGiveTheControlsBack) {
  const ErrorCase& c = GetParam();
  const test::StandInOptIn optIn(c.standInAllowed);
  Connect(c.device);
  DialogRunner runner(1, c.timing);
  const HWND dialog = runner.Window();
  if (c.unselect != 0) Send(Item(dialog, c.unselect), CB_SETCURSEL, static_cast<WPARAM>(-1));
  Click(dialog, IDOK);
  const HWND box = WaitForBoxOf(runner.Thread(), "Error", 30s);
  ExpectErrorBox(box, dialog, c.text);
  if (box == nullptr) return;
  Answer(box, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return FindBoxOf(runner.Thread(), "Error") == nullptr; }));
  EXPECT_TRUE(WaitForState(dialog, kIdle)) << State(dialog);
  EXPECT_TRUE(Enabled(dialog, IDCANCEL));
  if (!c.standInAllowed) {
    EXPECT_TRUE(m_device->Received().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Win32DialogErrors, testing::ValuesIn(ErrorCases()),
                         [](const testing::TestParamInfo<ErrorCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Win32DialogTest, ExecuteWhileBusyShowsInProgress) {
  Connect(Faulty(sim::FaultRule::SilentFrom(1)));
  DialogRunner runner;
  const HWND dialog = runner.Window();
  Click(dialog, IDOK);
  ASSERT_TRUE(WaitForState(dialog, kUpdating));
  EXPECT_TRUE(Enabled(dialog, IDCANCEL));
  // "Execute" is disabled now; its command reaches the dialog the way a message would.
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(Item(dialog, IDOK)));
  const HWND box = WaitForBoxOf(runner.Thread(), "Error");
  ExpectErrorBox(box, dialog, "In Progress.");
  Answer(box, IDOK);
  Flush(dialog);
  EXPECT_EQ(State(dialog), kUpdating);
}

// While an update runs Escape does nothing, and "Exit" asks first: "No" lets it finish.
TEST_F(Win32DialogTest, EscapeIsIgnoredAndExitAsksWhileAnUpdateRuns) {
  DialogRunner runner;
  const HWND dialog = runner.Window();
  Click(dialog, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return m_device->Count(RequestKind::kWriteBlock) > 0; }));

  PressKey(Item(dialog, IDCANCEL), VK_ESCAPE);
  Flush(dialog);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(FindBoxOf(runner.Thread(), kTitle), nullptr);

  Click(dialog, IDCANCEL);
  const HWND question = WaitForBoxOf(runner.Thread(), kTitle);
  ExpectBox(question, dialog,
            "An update is running. Stopping it now leaves the device without valid firmware "
            "until it is updated again.\n\nStop the update?",
            IDI_EXCLAMATION, {"&Yes", "&No"});
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(InspectBox(question).defaultButton, "&No");
  Answer(question, IDNO);

  ASSERT_TRUE(WaitForCompletion(dialog));
  EXPECT_TRUE(WaitForState(dialog, kCompleted));
  // Nothing left to lose: "Exit" closes at once.
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(runner.WaitEnded(30s));
}

// Closing in the middle of an update, every way a user can, at random moments: "Yes" to the
// question stops it, with no box and no hang. The device never answers the finish, so however
// late the close comes, the update has not ended by then.
TEST_F(Win32DialogTest, ClosingDuringAnUpdateEndsCleanlyWithoutABox) {
  Connect(Faulty(Ignore(RequestKind::kFinishUpdate)));
  std::mt19937 random(20240517);
  std::uniform_int_distribution<int> delayMs(0, 400);
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(testing::Message() << "run " << run);
    DialogRunner runner(1, Shortened(&Timing::answerWait, 600s));
    const HWND dialog = runner.Window();
    Click(dialog, IDOK);
    ASSERT_TRUE(WaitForState(dialog, kUpdating));
    Sleep(static_cast<DWORD>(delayMs(random)));
    switch (run % 3) {
      case 0:
        Click(dialog, IDCANCEL);
        break;
      case 1:
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      default:
        PressKey(Item(dialog, IDCANCEL), VK_ESCAPE);
        Flush(dialog);
        EXPECT_TRUE(IsWindow(dialog));
        Click(dialog, IDCANCEL);
        break;
    }
    const HWND question = WaitForBoxOf(runner.Thread(), kTitle);
    ASSERT_NE(question, nullptr);
    Answer(question, IDYES);
    bool errorBox = false;
    EXPECT_TRUE(WaitUntil(
        [&] {
          errorBox = errorBox || FindBoxOf(runner.Thread(), "Error") != nullptr;
          return runner.WaitEnded(0ms);
        },
        30s));
    EXPECT_FALSE(errorBox);
    // The next copy starts once the device has answered what this one sent.
    ASSERT_TRUE(m_device->WaitIdle(5000ms));
  }
}

// While an update runs, and while its error box is up, the session does not end under it: the
// query is refused with the reason given, Escape is ignored and "Exit" asks. Once the session
// does end, the update stops as closing stops it.
TEST_F(Win32DialogTest, SessionEndWaitsForTheUpdateAndThenStopsIt) {
  Connect(Faulty(Ignore(RequestKind::kEraseFlash)));
  DialogRunner runner(1, Shortened(&Timing::eraseWait, 300ms));
  const HWND dialog = runner.Window();
  EXPECT_EQ(Send(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  Click(dialog, IDOK);
  ASSERT_TRUE(WaitForState(dialog, kUpdating));
  EXPECT_EQ(Send(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);

  const HWND box = WaitForBoxOf(runner.Thread(), "Error", 30s);
  ExpectErrorBox(box, dialog, "Time out error(3)");
  EXPECT_EQ(Send(dialog, WM_QUERYENDSESSION, 0, 0), FALSE);
  // Input for the dialog while its worker's box is up, as another program could send it.
  PressKey(Item(dialog, IDCANCEL), VK_ESCAPE);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(Item(dialog, IDCANCEL)));
  const HWND question = WaitForBoxOf(runner.Thread(), kTitle);
  ASSERT_NE(question, nullptr);
  Answer(question, IDNO);
  EXPECT_TRUE(WaitUntil([&] { return FindBoxOf(runner.Thread(), kTitle) == nullptr; }));
  EXPECT_TRUE(IsWindow(dialog));

  PostMessageA(dialog, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(runner.WaitEnded(30s));
}

TEST_F(Win32DialogTest, SystemMenuOpensTheAboutBoxWithoutTheCopyNumber) {
  DialogRunner runner(2);
  const HWND dialog = runner.Window();
  EXPECT_EQ(Text(dialog), kTitle + " (2)");
  HMENU menu = GetSystemMenu(dialog, FALSE);
  ASSERT_NE(menu, nullptr);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
  char item[128] = {};
  GetMenuStringA(menu, count - 1, item, sizeof item, MF_BYPOSITION);
  EXPECT_STREQ(item, "About DAXO Tarn Series Updater(&A)...");
  EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

  PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  const HWND about = WaitForBoxOf(runner.Thread(), "About Tarn Series Updater");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
  EXPECT_EQ(ItemText(about, IDC_ABOUT_TEXT), "DAXO R5x System v2.00 Updater");
  EXPECT_EQ(ItemText(about, IDC_ABOUT_SET),
            "Firmware: system v2.00, stand-in image set: for the virtual device only");
  EXPECT_EQ(ItemText(about, IDOK), "OK");
  Answer(about, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_TRUE(IsWindow(dialog));
}

}  // namespace
}  // namespace tarn::test
