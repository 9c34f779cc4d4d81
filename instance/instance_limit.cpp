#include "instance/instance_limit.h"

#include <cstdio>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

#include "resources/product.h"

namespace tarn {

std::string InstanceName(int number) {
  if (number == 1) return kProgramTitle;
  return std::string(kProgramTitle) + " (" + std::to_string(number) + ")";
}

std::string InstanceLimitMessage() {
  char text[96];
  std::snprintf(text, sizeof text,
                "It is forbidden to launch more than %d instance of this application.",
                kMaxInstances);
  return text;
}

#ifdef _WIN32

// The mutex is created owned by the claiming thread and never released: the name goes when the
// handle closes, at the latest with the process.
struct InstanceClaim::Held {
  HANDLE mutex;
  ~Held() { CloseHandle(mutex); }
};

int ClaimInstanceNumber(InstanceClaim& claim) {
  if (claim.number() != 0) return claim.number();
  for (int number = 1; number <= kMaxInstances; ++number) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, InstanceName(number).c_str());
    if (mutex == nullptr) continue;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      continue;
    }
    claim.Hold(std::unique_ptr<InstanceClaim::Held>(new InstanceClaim::Held{mutex}), number);
    return number;
  }
  return 0;
}

#else

// The lock belongs to the open file, so the system drops it when the process ends, even after
// a crash. The file itself stays: removing it would race with a copy that is just locking it.
struct InstanceClaim::Held {
  int fd;
  ~Held() { close(fd); }
};

namespace {

// A folder of this user's own below `base`, made on first use; empty when there is none that is
// safe to use (anyone can create names in /tmp).
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
  return folder != nullptr && folder[0] == '/' && stat(folder, &info) == 0 &&
         S_ISDIR(info.st_mode) && access(folder, W_OK | X_OK) == 0;
}

// Claims the lowest free number with its lock file in `folder`: 0 when another copy holds each,
// kNoInstanceLock when a lock file cannot be made or locked there.
int ClaimIn(const std::string& folder, InstanceClaim& claim) {
  for (int number = 1; number <= kMaxInstances; ++number) {
    const std::string path = folder + "/" + InstanceName(number) + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return kNoInstanceLock;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      claim.Hold(std::unique_ptr<InstanceClaim::Held>(new InstanceClaim::Held{fd}), number);
      return number;
    }
    const int error = errno;
    close(fd);
    if (error != EWOULDBLOCK) return kNoInstanceLock;
  }
  return 0;
}

}  // namespace

int ClaimInstanceNumber(InstanceClaim& claim) {
  return ClaimInstanceNumber(claim, "/tmp");
}

int ClaimInstanceNumber(InstanceClaim& claim, const std::string& fallbackBase) {
  if (claim.number() != 0) return claim.number();
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsUsableFolder(runtime)) return ClaimIn(runtime, claim);
  const std::string folder = PrivateFolder(fallbackBase);
  return folder.empty() ? kNoInstanceLock : ClaimIn(folder, claim);
}

#endif

// Here, where Held is complete on every platform.
InstanceClaim::InstanceClaim() = default;
InstanceClaim::~InstanceClaim() = default;

void InstanceClaim::Hold(std::unique_ptr<Held> held, int number) {
  m_held = std::move(held);
  m_number = number;
}

}  // namespace tarn
