// The instance limit: each running copy of the updater claims one of twenty numbered instance
// names and keeps it until the process ends. On Windows a name is a named mutex; elsewhere an
// exclusive lock on a file of that name in the user's runtime folder.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "instance/lock_problem.h"

namespace tarn {

inline constexpr int kMaxInstances = 20;

// What ClaimInstanceNumber returns when no name could be claimed or found taken at all: there
// is no folder the lock files can be made in (not on Windows).
inline constexpr int kNoInstanceLock = -1;

// The name for instance `number` (1..kMaxInstances); also the copy's window title.
std::string InstanceName(int number);

// Shown when every instance name is taken.
std::string InstanceLimitMessage();

// One claimed instance name. Keep it for the life of the process: the system releases the name
// when the process ends, however it ends, so a crashed copy never blocks its number.
class InstanceClaim {
 public:
  InstanceClaim();
  ~InstanceClaim();
  InstanceClaim(const InstanceClaim&) = delete;
  InstanceClaim& operator=(const InstanceClaim&) = delete;

  // The claimed number, 0 while none is held.
  int number() const { return m_number; }
  // After a claim that gave kNoInstanceLock: which file or folder kept the locks from working.
  const LockProblem& problem() const { return m_problem; }

  struct Held;  // the platform's hold on one name
  void Hold(std::unique_ptr<Held> held, int number);
  void Refuse(LockProblem problem) { m_problem = std::move(problem); }

 private:
  std::unique_ptr<Held> m_held;
  int m_number = 0;
  LockProblem m_problem;
};

// Claims the lowest free number, 1..kMaxInstances, into `claim` and returns it; 0 when all are
// taken. A claim that already holds a number keeps it.
// On Windows a name whose mutex cannot be created counts as taken. Elsewhere only a lock held
// by another running copy counts as taken: the lock files live in $XDG_RUNTIME_DIR, or, where
// that cannot be used, in a folder of this user's own below /tmp; kNoInstanceLock when neither
// can be used or a lock file there cannot be, with the claim's problem() saying why.
int ClaimInstanceNumber(InstanceClaim& claim);

#ifndef _WIN32
// The same with the fallback folder below `fallbackBase` instead of /tmp (tests).
int ClaimInstanceNumber(InstanceClaim& claim, const std::string& fallbackBase);
#endif

}  // namespace tarn
