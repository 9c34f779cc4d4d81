// Lock files of this user's running updaters outside Windows: the folder they live in and an
// exclusive lock on one of them. The instance limit and the device locks keep theirs here, so
// every copy of the program finds the others' files.
#pragma once

#include <string>

#include "instance/lock_problem.h"

namespace tarn {

// Which $XDG_RUNTIME_DIR LockFolder takes.
enum class RuntimeFolder {
  kAbsolute,  // any absolute path, whatever is there
  kUsable,    // only a folder this process can make files in
};

// $XDG_RUNTIME_DIR when `use` takes it, else the folder "tarn-updater-<uid>" below
// `fallbackBase`, made on first use. Anyone can create names in /tmp: that folder is used only
// while it is this user's and closed to others. Empty when there is none to use; then `problem`
// (if given) says which folder and why.
std::string LockFolder(RuntimeFolder use, const std::string& fallbackBase = "/tmp",
                       LockProblem* problem = nullptr);

// What stands at a lock file's path that open() refused.
enum class Standing {
  kNothing,     // no file (its folder cannot be written or searched)
  kOwnFile,     // a plain file of this user's
  kOthersFile,  // a plain file of another user's
  kNotAFile,    // a link, a folder or any other kind of file
};

// Why a lock file that open() refused with `error` (an errno value) cannot be used.
LockProblem::Kind UnopenableLockFile(int error, Standing standing);

// An exclusive lock on the file `path`, tried once without waiting; the file is made (0600) if
// missing, never through a link, and child processes do not inherit it. The lock belongs to the
// open file, so the system drops it when this closes or the process ends, even after a crash.
// The file stays: removing it would race with a process that is just locking it. For the same
// reason a plain file of this user's that its mode keeps even its owner out of (000 after an
// earlier fault) is not replaced: it gets the mode 0600 back and is opened again, so a process
// that still holds it keeps it held. Another user's file, a link or a folder is never touched:
// problem() names it.
class FileLock {
 public:
  enum class State {
    kLocked,  // held by this
    kHeld,    // held by another open of the file, in this process or another
    kNoFile,  // the file cannot be opened
    kFailed,  // opened, but the lock failed for another reason
  };

  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&&) = delete;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  State state() const { return m_state; }
  // The open file (also while another holds the lock, to read what it wrote); -1 for kNoFile.
  int fd() const { return m_fd; }
  // Why there is no lock, for kNoFile and kFailed; kNone otherwise.
  const LockProblem& problem() const { return m_problem; }

 private:
  int m_fd = -1;
  State m_state = State::kNoFile;
  LockProblem m_problem;
};

}  // namespace tarn
