// The lock files' folder and the lock on one file, shared by the instance limit and the device
// locks.
#include "instance/runtime_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tarn {
namespace {

class RuntimeLock : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = (std::filesystem::temp_directory_path() / "runtime-lock-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    m_folder = folder;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old != nullptr) m_oldRuntime = old;
  }
  void TearDown() override {
    if (m_oldRuntime) {
      setenv("XDG_RUNTIME_DIR", m_oldRuntime->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    std::filesystem::remove_all(m_folder);
  }
  // Makes an empty plain file in the test's folder.
  std::string PlainFile(const std::string& name) const {
    const std::string path = m_folder + "/" + name;
    std::fclose(std::fopen(path.c_str(), "w"));
    return path;
  }

  std::string m_folder;
  std::optional<std::string> m_oldRuntime;
};

// The device locks take any absolute runtime folder; the instance limit only one it can use.
TEST_F(RuntimeLock, FolderIsTheRuntimeFolderOrTheUsersOwnBelowTheBase) {
  const std::string base = m_folder + "/tmp";
  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  const std::string fallback = base + "/tarn-updater-" + std::to_string(getuid());
  const std::string file = PlainFile("not-a-folder");
  const std::string missing = m_folder + "/missing";
  const struct {
    const char* what;
    std::optional<std::string> runtime;
    std::string absolute;  // the folder with RuntimeFolder::kAbsolute
    std::string usable;    // and with RuntimeFolder::kUsable
  } cases[] = {
      {"unset", std::nullopt, fallback, fallback},
      {"empty", "", fallback, fallback},
      {"relative", "relative/run", fallback, fallback},
      {"a folder", m_folder, m_folder, m_folder},
      {"missing", missing, missing, fallback},
      {"a plain file", file, file, fallback},
      {"below a plain file", file + "/run", file + "/run", fallback},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.runtime) {
      setenv("XDG_RUNTIME_DIR", c.runtime->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    EXPECT_EQ(LockFolder(RuntimeFolder::kAbsolute, base), c.absolute);
    EXPECT_EQ(LockFolder(RuntimeFolder::kUsable, base), c.usable);
  }
  EXPECT_EQ(std::filesystem::status(fallback).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

// A fallback folder that is not a private folder of this user's is not used.
TEST_F(RuntimeLock, FallbackFolderOthersCouldTamperWithIsRefused) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::string file = PlainFile("not-a-folder");
  const std::string openToAll = m_folder + "/open-to-all";
  ASSERT_EQ(mkdir(openToAll.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((openToAll + "/tarn-updater-" + std::to_string(getuid())).c_str(), 0755), 0);
  const std::string linked = m_folder + "/linked";
  ASSERT_EQ(mkdir(linked.c_str(), 0755), 0);
  ASSERT_EQ(
      symlink(m_folder.c_str(), (linked + "/tarn-updater-" + std::to_string(getuid())).c_str()), 0);
  for (const std::string& base : {file, openToAll, linked}) {
    SCOPED_TRACE(base);
    EXPECT_EQ(LockFolder(RuntimeFolder::kAbsolute, base), "");
    EXPECT_EQ(LockFolder(RuntimeFolder::kUsable, base), "");
  }
}

TEST_F(RuntimeLock, FileIsLockedOnceAndFreeAgainWhenItsHolderCloses) {
  const std::string path = m_folder + "/a.lock";
  auto first = std::make_unique<FileLock>(path);
  ASSERT_EQ(first->state(), FileLock::State::kLocked);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  FileLock second(path);
  EXPECT_EQ(second.state(), FileLock::State::kHeld);
  // Open, so that what the holder wrote can be read.
  EXPECT_GE(second.fd(), 0);
  EXPECT_EQ(FileLock(m_folder + "/b.lock").state(), FileLock::State::kLocked);

  // The hold goes with a move, and stays until the one that has it closes.
  FileLock moved(std::move(*first));
  first.reset();
  EXPECT_EQ(FileLock(path).state(), FileLock::State::kHeld);
  { FileLock last(std::move(moved)); }
  EXPECT_EQ(FileLock(path).state(), FileLock::State::kLocked);
}

TEST_F(RuntimeLock, FileThatCannotBeOpenedIsNoLock) {
  const std::string file = PlainFile("not-a-folder");
  const std::string folder = m_folder + "/a-folder.lock";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string link = m_folder + "/link.lock";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  for (const std::string& path : {file + "/a.lock", folder, link}) {
    SCOPED_TRACE(path);
    const FileLock lock(path);
    EXPECT_EQ(lock.state(), FileLock::State::kNoFile);
    EXPECT_EQ(lock.fd(), -1);
  }
}

}  // namespace
}  // namespace tarn
