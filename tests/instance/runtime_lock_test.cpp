// The lock files' folder and the lock on one file, shared by the instance limit and the device
// locks.
#include "instance/runtime_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tests/instance/lock_folder_test.h"

namespace tarn {
namespace {

// A user that is not the one running the tests (nobody on Debian).
constexpr uid_t kOtherUser = 65534;

using RuntimeLock = test::LockFolderTest;

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

// A fallback folder that is not a private folder of this user's is not used, and is named.
TEST_F(RuntimeLock, FallbackFolderOthersCouldTamperWithIsRefusedAndNamed) {
  unsetenv("XDG_RUNTIME_DIR");
  const std::string own = "/tarn-updater-" + std::to_string(getuid());
  const struct {
    const char* what;
    std::function<void(const std::string& folder)> make;
    LockProblem::Kind kind;
  } cases[] = {
      {"a plain file", [](const std::string& f) { std::fclose(std::fopen(f.c_str(), "w")); },
       LockProblem::Kind::kFolderNotPrivate},
      {"open to read", [](const std::string& f) { MakeFolder(f, 0755); },
       LockProblem::Kind::kFolderNotPrivate},
      {"open to all", [](const std::string& f) { MakeFolder(f, 0777); },
       LockProblem::Kind::kFolderNotPrivate},
      {"a link to a folder of ours",
       [this](const std::string& f) { ASSERT_EQ(symlink(m_folder.c_str(), f.c_str()), 0); },
       LockProblem::Kind::kFolderNotPrivate},
      // Root can give it away; anyone else gets one that is open to all instead, which the
      // same check refuses.
      {"someone else's",
       [](const std::string& f) {
         MakeFolder(f, 0777);
         if (geteuid() == 0) {
           ASSERT_EQ(chown(f.c_str(), kOtherUser, kOtherUser), 0);
           ASSERT_EQ(chmod(f.c_str(), 0700), 0);
         }
       },
       LockProblem::Kind::kFolderNotPrivate},
      // Below a plain file nothing can be made, not even by root.
      {"below a plain file", [](const std::string&) {}, LockProblem::Kind::kNoFolder},
  };
  int count = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string base = m_folder + "/base-" + std::to_string(++count);
    if (c.kind == LockProblem::Kind::kNoFolder) {
      base = PlainFile("base-file-" + std::to_string(count));
    } else {
      MakeFolder(base, 0755);
      c.make(base + own);
    }
    for (const RuntimeFolder use : {RuntimeFolder::kAbsolute, RuntimeFolder::kUsable}) {
      LockProblem problem;
      EXPECT_EQ(LockFolder(use, base, &problem), "");
      EXPECT_EQ(problem, (LockProblem{c.kind, base + own}));
    }
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

// Nobody opens a link or a folder as a lock file, root included: each is left where it is and
// named.
TEST_F(RuntimeLock, FileThatCannotBeOpenedIsNoLockAndIsNamed) {
  const std::string file = PlainFile("not-a-folder");
  const std::string folder = m_folder + "/a-folder.lock";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string link = m_folder + "/link.lock";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  const std::string dangling = m_folder + "/dangling.lock";
  ASSERT_EQ(symlink((m_folder + "/missing").c_str(), dangling.c_str()), 0);
  const struct {
    std::string path;
    LockProblem::Kind kind;
  } cases[] = {
      {file + "/a.lock", LockProblem::Kind::kFileUnusable},
      {m_folder + "/missing/a.lock", LockProblem::Kind::kFileUnusable},
      {folder, LockProblem::Kind::kFileNotPlain},
      {link, LockProblem::Kind::kFileNotPlain},
      {dangling, LockProblem::Kind::kFileNotPlain},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const FileLock lock(c.path);
    EXPECT_EQ(lock.state(), FileLock::State::kNoFile);
    EXPECT_EQ(lock.fd(), -1);
    EXPECT_EQ(lock.problem(), (LockProblem{c.kind, c.path}));
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_FALSE(std::filesystem::exists(m_folder + "/missing"));
}

// A lock file of ours with the wrong mode (000 after an earlier fault) is taken over in place:
// the same file, its mode back to 0600, locked; still held when another holds it.
TEST_F(RuntimeLock, OwnLockFileWithWrongModeIsTakenOverInPlace) {
  const struct {
    const char* what;
    mode_t mode;
    bool held;
    FileLock::State state;
  } cases[] = {
      {"mode 000", 0000, false, FileLock::State::kLocked},
      {"read-only", 0400, false, FileLock::State::kLocked},
      {"open to all", 0666, false, FileLock::State::kLocked},
      {"mode 000, held", 0000, true, FileLock::State::kHeld},
  };
  int count = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = m_folder + "/stale-" + std::to_string(++count) + ".lock";
    std::optional<FileLock> holder;
    if (c.held) {
      holder.emplace(path);
      ASSERT_EQ(holder->state(), FileLock::State::kLocked);
    } else {
      PlainFile("stale-" + std::to_string(count) + ".lock");
    }
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    const FileLock lock(path);
    EXPECT_EQ(lock.state(), c.state);
    EXPECT_EQ(lock.problem(), LockProblem{});
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    if (c.held) {
      // The holder's lock stands: a third open finds it held as well.
      EXPECT_EQ(FileLock(path).state(), FileLock::State::kHeld);
    } else {
      EXPECT_EQ(after.st_mode & 0777, 0600u);
    }
  }
}

// Why an existing lock file that open() refused cannot be used: only another user's plain file
// is left by someone else (the root-owned file of a run with sudo); a link or a folder is never
// a lock file; the rest is the folder's fault. Root opens any plain file, so these are judged
// here from what open() and lstat() would say.
TEST(UnopenableLockFile, IsJudgedByWhatStandsThere) {
  const struct {
    int error;
    Standing standing;
    LockProblem::Kind kind;
  } cases[] = {
      {EACCES, Standing::kOthersFile, LockProblem::Kind::kFileForeign},
      {EPERM, Standing::kOthersFile, LockProblem::Kind::kFileForeign},
      // Ours, and its mode could not be set back.
      {EACCES, Standing::kOwnFile, LockProblem::Kind::kFileUnusable},
      // No file, and none may be made: the folder is not ours to write in.
      {EACCES, Standing::kNothing, LockProblem::Kind::kFileUnusable},
      {ELOOP, Standing::kNotAFile, LockProblem::Kind::kFileNotPlain},
      {EISDIR, Standing::kNotAFile, LockProblem::Kind::kFileNotPlain},
      {EACCES, Standing::kNotAFile, LockProblem::Kind::kFileNotPlain},
      {ENOTDIR, Standing::kNothing, LockProblem::Kind::kFileUnusable},
      {EROFS, Standing::kOthersFile, LockProblem::Kind::kFileUnusable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnopenableLockFile(c.error, c.standing), c.kind)
        << std::strerror(c.error) << ", standing " << static_cast<int>(c.standing);
  }
}

}  // namespace
}  // namespace tarn
