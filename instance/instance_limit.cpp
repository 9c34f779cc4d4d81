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

std::unique_ptr<InstanceClaim::Held> InstanceClaim::TryClaimName(const std::string& name) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
  if (mutex == nullptr) return nullptr;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return nullptr;
  }
  return std::unique_ptr<Held>(new Held{mutex});
}

#else

namespace {

// $XDG_RUNTIME_DIR when it names an absolute path; otherwise a private folder in /tmp, made on
// first use. Empty when there is no folder that is safe to use.
std::string RuntimeFolder() {
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

}  // namespace

// The lock belongs to the open file, so the system drops it when the process ends, even after
// a crash. The file itself stays: removing it would race with a copy that is just locking it.
struct InstanceClaim::Held {
  int fd;
  ~Held() { close(fd); }
};

std::unique_ptr<InstanceClaim::Held> InstanceClaim::TryClaimName(const std::string& name) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return nullptr;
  const std::string path = folder + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<Held>(new Held{fd});
}

#endif

InstanceClaim::InstanceClaim() = default;
InstanceClaim::~InstanceClaim() = default;

int ClaimInstanceNumber(InstanceClaim& claim) {
  if (claim.m_number != 0) return claim.m_number;
  for (int number = 1; number <= kMaxInstances; ++number) {
    if (std::unique_ptr<InstanceClaim::Held> held =
            InstanceClaim::TryClaimName(InstanceName(number))) {
      claim.m_held = std::move(held);
      claim.m_number = number;
      return number;
    }
  }
  return 0;
}

}  // namespace tarn
