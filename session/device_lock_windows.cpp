#include <windows.h>

#include "session/device_lock.h"

namespace tarn {
namespace {

// The lock covers one byte far past the holder's text, so the text stays readable.
constexpr DWORD kLockOffsetHigh = 1;

std::string ProgramName() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string full(path, length);
  const size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? full : full.substr(slash + 1);
}

std::string Holder(HANDLE file) {
  char text[256] = {};
  DWORD count = 0;
  OVERLAPPED at{};
  if (!ReadFile(file, text, sizeof text - 1, &count, &at)) count = 0;
  return DescribeHolder(std::string(text, count));
}

}  // namespace

struct DeviceLock::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
  ~Handle() {
    // Closing the handle drops the lock.
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

long long CurrentProcessId() {
  return GetCurrentProcessId();
}

std::string DeviceLockFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof path, path);
  // 0 when it fails; the size it needs when the path does not fit.
  if (length == 0 || length >= sizeof path) return {};
  std::string folder(path, length);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  return folder;
}

std::unique_ptr<DeviceLock> DeviceLock::TryAcquire(const std::string& device, std::string* holder,
                                                   LockProblem* problem) {
  if (holder) holder->clear();
  if (problem) *problem = {};
  const std::string folder = DeviceLockFolder();
  // Not the current folder instead: a copy started in another would not see this lock. Windows
  // names no folder to tell the user about.
  if (folder.empty()) {
    if (problem) *problem = {LockProblem::Kind::kNoFolder, {}};
    return nullptr;
  }
  const std::string path = folder + "\\" + DeviceLockFileName(device);
  auto handle = std::make_unique<Handle>();
  handle->file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle->file == INVALID_HANDLE_VALUE) {
    if (problem) *problem = {LockProblem::Kind::kFileUnusable, path};
    return nullptr;
  }
  OVERLAPPED lockAt{};
  lockAt.OffsetHigh = kLockOffsetHigh;
  if (!LockFileEx(handle->file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &lockAt)) {
    if (holder) *holder = Holder(handle->file);
    return nullptr;
  }
  const std::string content = HolderRecord(CurrentProcessId(), ProgramName());
  OVERLAPPED writeAt{};
  DWORD written = 0;
  if (WriteFile(handle->file, content.data(), static_cast<DWORD>(content.size()), &written,
                &writeAt)) {
    SetFilePointer(handle->file, static_cast<LONG>(content.size()), nullptr, FILE_BEGIN);
    SetEndOfFile(handle->file);
  }
  return std::unique_ptr<DeviceLock>(new DeviceLock(std::move(handle), path));
}

DeviceLock::DeviceLock(std::unique_ptr<Handle> handle, std::string path)
    : m_handle(std::move(handle)), m_path(std::move(path)) {}

DeviceLock::~DeviceLock() = default;

}  // namespace tarn
