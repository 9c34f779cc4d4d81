// The real tarn-updater.exe, started as a user starts it, in the same Wine server as this test:
// twenty copies numbered 1 to 20, the twenty-first refused, and the version it declares.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "instance/instance_limit.h"
#include "tests/app_win32/window_driver.h"

namespace tarn::test {
namespace {

// A copy of the program, ended when the test is done with it, however the test goes.
class Copy {
 public:
  Copy() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = std::string("\"") + TARN_UPDATER_EXE + "\"";
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &m_process)) {
      m_started = true;
    }
  }
  ~Copy() {
    if (!m_started) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_process.hProcess, 1);
      WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
  }
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  bool started() const { return m_started; }
  DWORD thread() const { return m_process.dwThreadId; }
  // The process's exit code once it has ended within `timeout`; -1 otherwise.
  long Ended(DWORD timeout) const {
    DWORD code = 0;
    if (WaitForSingleObject(m_process.hProcess, timeout) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(m_process.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION m_process{};
  bool m_started = false;
};

TEST(Win32Program, TwentyCopiesRunAndTheTwentyFirstIsRefused) {
  std::vector<std::unique_ptr<Copy>> copies;
  std::vector<HWND> windows;
  for (int number = 1; number <= kMaxInstances; ++number) {
    SCOPED_TRACE(number);
    copies.push_back(std::make_unique<Copy>());
    ASSERT_TRUE(copies.back()->started());
    // The main thread runs the dialog; each copy comes up before the next starts.
    const HWND window = WaitForWindowOf(copies.back()->thread(), InstanceName(number), 60s);
    ASSERT_NE(window, nullptr);
    windows.push_back(window);
  }

  Copy refused;
  ASSERT_TRUE(refused.started());
  const HWND box = WaitForWindowOf(refused.thread(), "tarn-updater", 60s);
  ASSERT_NE(box, nullptr);
  const BoxContents contents = InspectBox(box);
  EXPECT_EQ(contents.text, "It is forbidden to launch more than 20 instance of this application.");
  EXPECT_EQ(contents.owner, nullptr);
  EXPECT_EQ(contents.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(ShowsSystemIcon(contents, IDI_EXCLAMATION));
  Answer(box, IDOK);
  EXPECT_EQ(refused.Ended(30000), 0);

  // Idle copies close at once.
  for (size_t i = 0; i < windows.size(); ++i) {
    PostMessageA(windows[i], WM_CLOSE, 0, 0);
    EXPECT_EQ(copies[i]->Ended(30000), 0) << "copy " << i + 1;
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
