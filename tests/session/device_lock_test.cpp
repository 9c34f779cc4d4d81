// The lock of one device against every other updater: taken once, named by its holder,
// dropped when its holder goes, even by kill -9.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "session/device_lock.h"

namespace tarn {
namespace {

// Every test locks in a folder of its own, whatever the user's runtime folder holds.
class DeviceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/tarn-lock-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_folder = folder;
    const char* old = getenv("XDG_RUNTIME_DIR");
    if (old) m_oldRuntime = old;
    setenv("XDG_RUNTIME_DIR", folder, 1);
  }
  void TearDown() override {
    if (m_oldRuntime.empty()) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
    }
    const std::string command = "rm -rf '" + m_folder + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::string m_folder;
  std::string m_oldRuntime;
};

TEST_F(DeviceLockTest, SecondLockIsRefusedAndNamesTheHolder) {
  std::string holder;
  auto first = DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder);
  ASSERT_TRUE(first) << holder;
  EXPECT_EQ(first->Path().rfind(m_folder + "/", 0), 0u) << first->Path();

  auto second = DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder);
  EXPECT_FALSE(second);
  EXPECT_EQ(holder.rfind("process " + std::to_string(getpid()) + " (", 0), 0u) << holder;
  // Another device is not held.
  EXPECT_TRUE(DeviceLock::TryAcquire("JACK/DAXO Tarn Series (2)", &holder)) << holder;

  first.reset();
  EXPECT_TRUE(DeviceLock::TryAcquire("JACK/DAXO Tarn Series", &holder)) << holder;
}

TEST_F(DeviceLockTest, KilledHolderLeavesNoStaleLock) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string holder;
    auto lock = DeviceLock::TryAcquire("alsa/hw:1,0,0", &holder);
    const char byte = lock ? 'y' : 'n';
    [[maybe_unused]] const ssize_t written = write(ready[1], &byte, 1);
    for (;;)
      pause();
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  ASSERT_EQ(byte, 'y');

  std::string holder;
  EXPECT_FALSE(DeviceLock::TryAcquire("alsa/hw:1,0,0", &holder));
  EXPECT_EQ(holder.rfind("process " + std::to_string(child) + " (", 0), 0u) << holder;

  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(DeviceLock::TryAcquire("alsa/hw:1,0,0", &holder)) << holder;
}

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
