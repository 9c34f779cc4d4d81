// The lock of one device against every other updater: taken once, named by its holder,
// dropped when its holder lets go of it, ends or is killed.
#include "session/device_lock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "session/lock_problem_text.h"
#include "tests/support/environment.h"
#include "tests/support/holder_process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarn {
namespace {

using test::SetVariable;
using test::Variable;

using test::HolderProcess;

#ifdef _WIN32
// The lock files live in the temporary folder, which TMP names first.
constexpr char kFolderVariable[] = "TMP";
constexpr char kSeparator = '\\';
constexpr char kExe[] = ".exe";
#else
constexpr char kFolderVariable[] = "XDG_RUNTIME_DIR";
constexpr char kSeparator = '/';
constexpr char kExe[] = "";
#endif

long long ThisProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return getpid();
#endif
}

// How the holders name themselves.
std::string Named(long long pid, const std::string& program) {
  return "process " + std::to_string(pid) + " (" + program + kExe + ")";
}

// Every test locks in a folder of its own, whatever the user's lock folder holds; the holder
// processes inherit it.
class DeviceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int count = 0;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tarn-lock-test-" + std::to_string(ThisProcessId()) + "-" + std::to_string(++count));
    ASSERT_TRUE(std::filesystem::create_directory(folder)) << folder;
    m_folder = folder.string();
    m_oldFolder = Variable(kFolderVariable);
    SetVariable(kFolderVariable, m_folder);
  }
  void TearDown() override {
    SetVariable(kFolderVariable, m_oldFolder);
    std::error_code error;
    std::filesystem::remove_all(m_folder, error);
    EXPECT_FALSE(error) << error.message();
  }

  std::string m_folder;
  std::optional<std::string> m_oldFolder;
};

TEST_F(DeviceLockTest, SecondLockIsRefusedAndNamesTheHolder) {
  std::string holder;
  auto first = DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder);
  ASSERT_TRUE(first) << holder;
  EXPECT_EQ(first->Path(), m_folder + kSeparator + DeviceLockFileName("JACK/DAXO Tarn Series"));

  auto second = DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder);
  EXPECT_FALSE(second);
  EXPECT_EQ(holder, Named(ThisProcessId(), "session_tests"));
  // Another device is not held.
  EXPECT_TRUE(DeviceLock::TryAcquire("JACK/DAXO Tarn Series (2)", &holder)) << holder;

  first.reset();
  EXPECT_TRUE(DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder)) << holder;
}

// However the holder in another process lets go, the device is free at once: no stale lock.
TEST_F(DeviceLockTest, LockOfAnotherProcessHoldsUntilItLetsGo) {
  const std::string device = "alsa/hw:1,0,0";
  const struct {
    const char* how;
    std::function<void(HolderProcess&)> letGo;
  } ways[] = {
      {"drops the lock", [](HolderProcess& p) { EXPECT_EQ(p.Ask("drop"), "dropped"); }},
      {"ends", [](HolderProcess& p) { p.End(); }},
      {"is killed", [](HolderProcess& p) { p.Kill(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    HolderProcess first("device_lock_holder", device);
    ASSERT_EQ(first.firstLine(), "locked");
    const std::string named = Named(first.pid(), "device_lock_holder");

    std::string holder;
    EXPECT_FALSE(DeviceLock::TryAcquire(device, &holder));
    EXPECT_EQ(holder, named);
    EXPECT_EQ(HolderProcess("device_lock_holder", device).firstLine(), "refused: " + named);
    EXPECT_TRUE(DeviceLock::TryAcquire("alsa/hw:1,0,1", &holder)) << holder;

    way.letGo(first);
    EXPECT_TRUE(DeviceLock::TryAcquire(device, &holder)) << holder;
  }
}

// Started while this process holds the lock, a holder neither takes it nor inherits it.
TEST_F(DeviceLockTest, ProcessStartedByTheHolderDoesNotKeepItsLock) {
  const std::string device = "JACK/DAXO Tarn Series";
  std::string holder;
  auto lock = DeviceLock::TryAcquire(device, &holder);
  ASSERT_TRUE(lock) << holder;
  HolderProcess refused("device_lock_holder", device);
  EXPECT_EQ(refused.firstLine(), "refused: " + Named(ThisProcessId(), "session_tests"));

  lock.reset();
  HolderProcess next("device_lock_holder", device);
  EXPECT_EQ(next.firstLine(), "locked");
}

#ifdef _WIN32
// Where Windows names no temporary folder (Wine names none for a TMP longer than MAX_PATH) the
// lock is refused; the folder the program happens to run in is one where another copy started
// elsewhere would not look.
TEST_F(DeviceLockTest, NoTemporaryFolderRefusesTheLock) {
  SetVariable(kFolderVariable, "C:\\" + std::string(300, 'a'));
  std::string holder;
  LockProblem problem;
  EXPECT_FALSE(DeviceLock::TryAcquire("alsa/hw:1,0,0", &holder, &problem));
  EXPECT_EQ(holder, "");
  EXPECT_EQ(problem, (LockProblem{LockProblem::Kind::kNoFolder, {}}));
}
#else
// What stands at a device's lock path decides: a lock file of ours with mode 000 is taken over;
// a folder, a link or a missing runtime folder refuses the lock, names the path and blames no
// holder. The same for root and for anyone else.
TEST_F(DeviceLockTest, LockFileInTheWayIsNamedOrTakenOver) {
  const std::string device = "alsa/hw:1,0,0";
  const std::string path = m_folder + kSeparator + DeviceLockFileName(device);
  const struct {
    const char* what;
    std::function<void()> make;
    std::string folder;  // XDG_RUNTIME_DIR
    LockProblem problem;
  } cases[] = {
      {"mode 000, ours",
       [&] {
         std::fclose(std::fopen(path.c_str(), "w"));
         ASSERT_EQ(chmod(path.c_str(), 0000), 0);
       },
       m_folder,
       {}},
      {"a folder",
       [&] { std::filesystem::create_directory(path); },
       m_folder,
       {LockProblem::Kind::kFileNotPlain, path}},
      {"a link",
       [&] { std::filesystem::create_symlink(m_folder + "/elsewhere", path); },
       m_folder,
       {LockProblem::Kind::kFileNotPlain, path}},
      {"no runtime folder",
       [] {},
       m_folder + "/missing",
       {LockProblem::Kind::kFileUnusable,
        m_folder + "/missing" + kSeparator + DeviceLockFileName(device)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(path);
    c.make();
    SetVariable(kFolderVariable, c.folder);
    std::string holder = "stale";
    LockProblem problem{LockProblem::Kind::kNotLockable, "stale"};
    auto lock = DeviceLock::TryAcquire(device, &holder, &problem);
    EXPECT_EQ(lock != nullptr, c.problem == LockProblem{});
    EXPECT_EQ(problem, c.problem);
    EXPECT_EQ(holder, "");
    // Another updater is refused by the lock taken over and names its holder, or finds the
    // same path in the way.
    EXPECT_EQ(HolderProcess("device_lock_holder", device).firstLine(),
              lock ? "refused: " + Named(ThisProcessId(), "session_tests")
                   : "unusable: " + LockProblemText(c.problem));
  }
}
#endif

TEST(DeviceLockFileName, EveryDeviceGetsAFileOfItsOwn) {
  const struct {
    std::string device;
    std::string file;
  } cases[] = {
      {"alsa/hw:1,0,0", "tarn-updater-alsa%2Fhw%3A1%2C0%2C0.lock"},
      {"alsa_hw_1_0_0", "tarn-updater-alsa%5Fhw%5F1%5F0%5F0.lock"},
      {"JACK/DAXO Tarn Series (2)", "tarn-updater-JACK%2FDAXO%20Tarn%20Series%20%282%29.lock"},
      {"loopback/loopback@12", "tarn-updater-loopback%2Floopback%4012.lock"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DeviceLockFileName(c.device), c.file) << c.device;
}

TEST(DeviceLockHolder, TheFileNamesItsHolderOnceWritten) {
  EXPECT_EQ(HolderRecord(1234, "tarn-updater-cli"), "1234 tarn-updater-cli\n");
  const struct {
    std::string text;
    std::string holder;
  } cases[] = {
      {HolderRecord(1234, "tarn-updater-cli"), "process 1234 (tarn-updater-cli)"},
      {"77 tarn updater.exe\r\n", "process 77 (tarn updater.exe)"},
      {"5 x", "process 5 (x)"},
      // Taken, and not yet written.
      {"", "another process"},
      {"\n", "another process"},
      {"1234", "another process"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DescribeHolder(c.text), c.holder) << c.text;
}

}  // namespace
}  // namespace tarn
