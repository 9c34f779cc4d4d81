#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "session/device_lock.h"

namespace tarn {
namespace {

std::string ProgramName() {
  // The file name it was started by; the kernel's own name for it is cut at 15 characters.
  std::ifstream command("/proc/self/cmdline");
  std::string first;
  if (!std::getline(command, first, '\0') || first.empty()) return "unknown program";
  return first.substr(first.find_last_of('/') + 1);
}

std::string Holder(int fd) {
  char text[256] = {};
  const ssize_t count = pread(fd, text, sizeof text - 1, 0);
  return DescribeHolder(std::string(text, count > 0 ? static_cast<size_t>(count) : 0));
}

}  // namespace

struct DeviceLock::Handle {
  int fd = -1;
  ~Handle() {
    // Closing the descriptor drops the lock.
    if (fd >= 0) close(fd);
  }
};

long long CurrentProcessId() {
  return getpid();
}

std::string DeviceLockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  const uid_t uid = getuid();
  const std::string folder = "/tmp/tarn-updater-" + std::to_string(uid);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Anyone can create names in /tmp: use the folder only if it is ours and closed to others.
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
      (info.st_mode & 077) != 0) {
    return {};
  }
  return folder;
}

std::unique_ptr<DeviceLock> DeviceLock::TryAcquire(const std::string& device, std::string* holder) {
  const std::string folder = DeviceLockFolder();
  if (folder.empty()) {
    if (holder) *holder = "no private runtime folder for the lock";
    return nullptr;
  }
  const std::string path = folder + "/" + DeviceLockFileName(device);
  auto handle = std::make_unique<Handle>();
  handle->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (handle->fd < 0) {
    if (holder) *holder = "the lock file " + path + " cannot be opened";
    return nullptr;
  }
  if (flock(handle->fd, LOCK_EX | LOCK_NB) != 0) {
    if (holder) *holder = errno == EWOULDBLOCK ? Holder(handle->fd) : "the lock failed";
    return nullptr;
  }
  const std::string content = HolderRecord(CurrentProcessId(), ProgramName());
  if (ftruncate(handle->fd, 0) == 0) {
    // Who holds it is a courtesy to the next updater; the lock holds without it.
    [[maybe_unused]] const ssize_t written = pwrite(handle->fd, content.data(), content.size(), 0);
  }
  return std::unique_ptr<DeviceLock>(new DeviceLock(std::move(handle), path));
}

DeviceLock::DeviceLock(std::unique_ptr<Handle> handle, std::string path)
    : m_handle(std::move(handle)), m_path(std::move(path)) {}

DeviceLock::~DeviceLock() = default;

}  // namespace tarn
