// One updater per device, across processes: an advisory lock on a file in the runtime folder,
// named after the device. The system drops it with the process, however that ends, so a
// killed updater leaves no stale lock behind. The file tells who holds it.
#pragma once

#include <memory>
#include <string>

#include "instance/lock_problem.h"

namespace tarn {

class DeviceLock {
 public:
  // The lock on `device` (any text; the file name is derived from it). None when another
  // updater holds it; then `holder` says which ("process 1234 (tarn-updater-cli)"). None too
  // when no lock can be kept at all; then `problem` says which file or folder is in the way
  // and `holder` stays empty.
  static std::unique_ptr<DeviceLock> TryAcquire(const std::string& device, std::string* holder,
                                                LockProblem* problem = nullptr);
  ~DeviceLock();
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

  const std::string& Path() const { return m_path; }

 private:
  struct Handle;
  DeviceLock(std::unique_ptr<Handle> handle, std::string path);

  std::unique_ptr<Handle> m_handle;
  std::string m_path;
};

// The lock file's name for `device`: every byte but letters, digits, '.', '-' written as
// "%XX", so that two devices never share a file.
std::string DeviceLockFileName(const std::string& device);

// The folder of the lock files: XDG_RUNTIME_DIR when it is an absolute path, else a private
// folder of the user's in /tmp (on Windows, the temporary folder). Empty when none is safe, or
// Windows names none.
std::string DeviceLockFolder();

// This process's id, as the lock file records it.
long long CurrentProcessId();

// What a held lock file says: "<process id> <program>\n".
std::string HolderRecord(long long processId, const std::string& program);

// The holder named from the text of its lock file, "process 1234 (tarn-updater-cli)";
// "another process" while it has not written it yet.
std::string DescribeHolder(std::string text);

}  // namespace tarn
