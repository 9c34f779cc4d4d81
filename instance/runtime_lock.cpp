#include "instance/runtime_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tarn {
namespace {

constexpr mode_t kLockFileMode = 0600;

// A folder of this user's own below `base`, made on first use; empty, with `problem` set, when
// it is not safe.
std::string PrivateFolder(const std::string& base, LockProblem& problem) {
  const uid_t uid = getuid();
  const std::string folder = base + "/tarn-updater-" + std::to_string(uid);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = {LockProblem::Kind::kNoFolder, folder};
    return {};
  }
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0) {
    problem = {LockProblem::Kind::kNoFolder, folder};
    return {};
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != uid || (info.st_mode & 077) != 0) {
    problem = {LockProblem::Kind::kFolderNotPrivate, folder};
    return {};
  }
  return folder;
}

// A folder this process can make lock files in.
bool IsUsableFolder(const char* folder) {
  struct stat info;
  return stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && access(folder, W_OK | X_OK) == 0;
}

int OpenLockFile(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
}

Standing StandingAt(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return Standing::kNothing;
  if (!S_ISREG(info.st_mode)) return Standing::kNotAFile;
  return info.st_uid == geteuid() ? Standing::kOwnFile : Standing::kOthersFile;
}

// Gives a plain file of this user's the lock file's mode back; never follows a link.
bool RestoreOwnMode(const std::string& path) {
  return StandingAt(path) == Standing::kOwnFile &&
         fchmodat(AT_FDCWD, path.c_str(), kLockFileMode, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

std::string LockFolder(RuntimeFolder use, const std::string& fallbackBase, LockProblem* problem) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' &&
      (use == RuntimeFolder::kAbsolute || IsUsableFolder(runtime))) {
    return runtime;
  }
  LockProblem found;
  std::string folder = PrivateFolder(fallbackBase, found);
  if (problem) *problem = std::move(found);
  return folder;
}

LockProblem::Kind UnopenableLockFile(int error, Standing standing) {
  if (error == ELOOP || error == EISDIR || standing == Standing::kNotAFile)
    return LockProblem::Kind::kFileNotPlain;
  if ((error == EACCES || error == EPERM) && standing == Standing::kOthersFile)
    return LockProblem::Kind::kFileForeign;
  return LockProblem::Kind::kFileUnusable;
}

FileLock::FileLock(const std::string& path) {
  m_fd = OpenLockFile(path);
  int error = errno;
  // Refused to its own owner: only its mode is wrong.
  if (m_fd < 0 && error == EACCES && RestoreOwnMode(path)) {
    m_fd = OpenLockFile(path);
    error = errno;
  }
  if (m_fd < 0) {
    m_problem = {UnopenableLockFile(error, StandingAt(path)), path};
    return;
  }
  if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
    m_state = State::kLocked;
    // A file of ours left with another mode (000 opens for root, 0666 would let anyone hold
    // it) gets the mode it is made with.
    struct stat info;
    if (fstat(m_fd, &info) == 0 && info.st_uid == geteuid() &&
        (info.st_mode & 0777) != kLockFileMode) {
      fchmod(m_fd, kLockFileMode);
    }
  } else if (errno == EWOULDBLOCK) {
    m_state = State::kHeld;
  } else {
    m_state = State::kFailed;
    m_problem = {LockProblem::Kind::kNotLockable, path};
  }
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_fd(other.m_fd), m_state(other.m_state), m_problem(std::move(other.m_problem)) {
  other.m_fd = -1;
  other.m_state = State::kNoFile;
  other.m_problem = {};
}

FileLock::~FileLock() {
  if (m_fd >= 0) close(m_fd);
}

}  // namespace tarn
