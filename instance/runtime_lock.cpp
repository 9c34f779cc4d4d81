#include "instance/runtime_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tarn {
namespace {

// A folder of this user's own below `base`, made on first use; empty when it is not safe.
std::string PrivateFolder(const std::string& base) {
  const uid_t uid = getuid();
  const std::string folder = base + "/tarn-updater-" + std::to_string(uid);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
      (info.st_mode & 077) != 0) {
    return {};
  }
  return folder;
}

// A folder this process can make lock files in.
bool IsUsableFolder(const char* folder) {
  struct stat info;
  return stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && access(folder, W_OK | X_OK) == 0;
}

}  // namespace

std::string LockFolder(RuntimeFolder use, const std::string& fallbackBase) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' &&
      (use == RuntimeFolder::kAbsolute || IsUsableFolder(runtime))) {
    return runtime;
  }
  return PrivateFolder(fallbackBase);
}

FileLock::FileLock(const std::string& path) {
  m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (m_fd < 0) return;
  if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
    m_state = State::kLocked;
  } else {
    m_state = errno == EWOULDBLOCK ? State::kHeld : State::kFailed;
  }
}

FileLock::FileLock(FileLock&& other) noexcept : m_fd(other.m_fd), m_state(other.m_state) {
  other.m_fd = -1;
  other.m_state = State::kNoFile;
}

FileLock::~FileLock() {
  if (m_fd >= 0) close(m_fd);
}

}  // namespace tarn
