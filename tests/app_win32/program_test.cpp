// The real tarn-updater.exe, started as a user starts it, in the same Wine server as this test:
// twenty copies numbered 1 to 20, the twenty-first refused, and the version it declares.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "instance/instance_limit.h"
#include "tests/app_win32/window_driver.h"
#include "tests/support/child_process.h"

namespace tarn::test {
namespace {

// A copy of the program, ended when the test is done with it, however the test goes.
std::unique_ptr<ChildProcess> StartCopy() {
  return std::make_unique<ChildProcess>(std::vector<std::string>{TARN_UPDATER_EXE},
                                        ChildOptions{ChildOptions::Output::kInherit});
}

TEST(Win32Program, TwentyCopiesRunAndTheTwentyFirstIsRefused) {
  std::vector<std::unique_ptr<ChildProcess>> copies;
  std::vector<HWND> windows;
  for (int number = 1; number <= kMaxInstances; ++number) {
    SCOPED_TRACE(number);
    copies.push_back(StartCopy());
    ASSERT_TRUE(copies.back()->Started());
    // The main thread runs the dialog; each copy comes up before the next starts.
    const HWND window = WaitForWindowOf(copies.back()->MainThread(), InstanceName(number), 60s);
    ASSERT_NE(window, nullptr);
    windows.push_back(window);
  }

  const auto refused = StartCopy();
  ASSERT_TRUE(refused->Started());
  const HWND box = WaitForWindowOf(refused->MainThread(), "tarn-updater", 60s);
  ASSERT_NE(box, nullptr);
  const BoxContents contents = InspectBox(box);
  EXPECT_EQ(contents.text, "It is forbidden to launch more than 20 instance of this application.");
  EXPECT_EQ(contents.owner, nullptr);
  EXPECT_EQ(contents.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(ShowsSystemIcon(contents, IDI_EXCLAMATION));
  Answer(box, IDOK);
  EXPECT_EQ(refused->Wait(30s).exitCode, 0);

  // Idle copies close at once.
  for (size_t i = 0; i < windows.size(); ++i) {
    PostMessageA(windows[i], WM_CLOSE, 0, 0);
    EXPECT_EQ(copies[i]->Wait(30s).exitCode, 0) << "copy " << i + 1;
  }
}

std::string VersionValue(const std::vector<BYTE>& info, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\041103a4\\") + name;
  if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      length == 0) {
    return {};
  }
  return std::string(value, length - 1);
}

TEST(Win32Program, DeclaresItsVersionInJapaneseWithCodePage932) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(TARN_UPDATER_EXE, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(TARN_UPDATER_EXE, 0, size, info.data()));
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 932);
  const std::pair<const char*, const char*> fields[] = {
      {"FileDescription", "Updater"}, {"FileVersion", "1,0,0,0"},
      {"ProductVersion", "1,0,0,0"},  {"InternalName", "Updater.exe"},
      {"ProductName", "Tarn Series"},
  };
  for (const auto& [name, value] : fields)
    EXPECT_EQ(VersionValue(info, name), value) << name;
  EXPECT_FALSE(VersionValue(info, "CompanyName").empty());
  EXPECT_FALSE(VersionValue(info, "LegalCopyright").empty());
}

}  // namespace
}  // namespace tarn::test
