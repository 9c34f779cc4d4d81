#include "instance/instance_limit.h"

#include <cstdio>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include "instance/runtime_lock.h"
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

struct InstanceClaim::Held {
  FileLock lock;
};

namespace {

// Claims the lowest free number with its lock file in `folder`: 0 when another copy holds each,
// kNoInstanceLock when a lock file cannot be made or locked there.
int ClaimIn(const std::string& folder, InstanceClaim& claim) {
  for (int number = 1; number <= kMaxInstances; ++number) {
    FileLock lock(folder + "/" + InstanceName(number) + ".lock");
    if (lock.state() == FileLock::State::kLocked) {
      claim.Hold(std::unique_ptr<InstanceClaim::Held>(new InstanceClaim::Held{std::move(lock)}),
                 number);
      return number;
    }
    if (lock.state() != FileLock::State::kHeld) {
      claim.Refuse(lock.problem());
      return kNoInstanceLock;
    }
  }
  return 0;
}

}  // namespace

int ClaimInstanceNumber(InstanceClaim& claim) {
  return ClaimInstanceNumber(claim, "/tmp");
}

int ClaimInstanceNumber(InstanceClaim& claim, const std::string& fallbackBase) {
  if (claim.number() != 0) return claim.number();
  LockProblem problem;
  const std::string folder = LockFolder(RuntimeFolder::kUsable, fallbackBase, &problem);
  if (folder.empty()) {
    claim.Refuse(std::move(problem));
    return kNoInstanceLock;
  }
  return ClaimIn(folder, claim);
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
