// Lock files of this user's running updaters outside Windows: the folder they live in and an
// exclusive lock on one of them. The instance limit and the device locks keep theirs here, so
// every copy of the program finds the others' files.
#pragma once

#include <string>

namespace tarn {

// Which $XDG_RUNTIME_DIR LockFolder takes.
enum class RuntimeFolder {
  kAbsolute,  // any absolute path, whatever is there
  kUsable,    // only a folder this process can make files in
};

// $XDG_RUNTIME_DIR when `use` takes it, else the folder "tarn-updater-<uid>" below
// `fallbackBase`, made on first use. Anyone can create names in /tmp: that folder is used only
// while it is this user's and closed to others. Empty when there is none to use.
std::string LockFolder(RuntimeFolder use, const std::string& fallbackBase = "/tmp");

// An exclusive lock on the file `path`, tried once without waiting; the file is made (0600) if
// missing, never through a link, and child processes do not inherit it. The lock belongs to the
// open file, so the system drops it when this closes or the process ends, even after a crash.
// The file stays: removing it would race with a process that is just locking it.
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

 private:
  int m_fd = -1;
  State m_state = State::kNoFile;
};

}  // namespace tarn
