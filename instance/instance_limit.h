// The instance limit: each running copy of the updater claims one of twenty numbered instance
// names and keeps it until the process ends. On Windows a name is a named mutex; elsewhere an
// exclusive lock on a file of that name in the user's runtime folder.
#pragma once

#include <memory>
#include <string>

namespace tarn {

inline constexpr int kMaxInstances = 20;

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

 private:
  friend int ClaimInstanceNumber(InstanceClaim& claim);
  struct Held;
  // The held name, or nullptr when it is taken or cannot be created.
  static std::unique_ptr<Held> TryClaimName(const std::string& name);

  std::unique_ptr<Held> m_held;
  int m_number = 0;
};

// Claims the lowest free number, 1..kMaxInstances, into `claim` and returns it; 0 when all are
// taken. A name whose mutex or lock file cannot be created counts as taken. A claim that
// already holds a number keeps it.
int ClaimInstanceNumber(InstanceClaim& claim);

}  // namespace tarn
