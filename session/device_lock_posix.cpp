#include <unistd.h>

#include <fstream>
#include <utility>

#include "instance/runtime_lock.h"
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
  FileLock lock;
};

long long CurrentProcessId() {
  return getpid();
}

std::string DeviceLockFolder() {
  return LockFolder(RuntimeFolder::kAbsolute);
}

std::unique_ptr<DeviceLock> DeviceLock::TryAcquire(const std::string& device, std::string* holder,
                                                   LockProblem* problem) {
  if (holder) holder->clear();
  if (problem) *problem = {};
  LockProblem folderProblem;
  const std::string folder = LockFolder(RuntimeFolder::kAbsolute, "/tmp", &folderProblem);
  if (folder.empty()) {
    if (problem) *problem = std::move(folderProblem);
    return nullptr;
  }
  const std::string path = folder + "/" + DeviceLockFileName(device);
  FileLock lock(path);
  switch (lock.state()) {
    case FileLock::State::kLocked:
      break;
    case FileLock::State::kHeld:
      if (holder) *holder = Holder(lock.fd());
      return nullptr;
    case FileLock::State::kNoFile:
    case FileLock::State::kFailed:
      if (problem) *problem = lock.problem();
      return nullptr;
  }
  const std::string content = HolderRecord(CurrentProcessId(), ProgramName());
  if (ftruncate(lock.fd(), 0) == 0) {
    // Who holds it is a courtesy to the next updater; the lock holds without it.
    [[maybe_unused]] const ssize_t written = pwrite(lock.fd(), content.data(), content.size(), 0);
  }
  return std::unique_ptr<DeviceLock>(
      new DeviceLock(std::unique_ptr<Handle>(new Handle{std::move(lock)}), path));
}

DeviceLock::DeviceLock(std::unique_ptr<Handle> handle, std::string path)
    : m_handle(std::move(handle)), m_path(std::move(path)) {}

DeviceLock::~DeviceLock() = default;

}  // namespace tarn
