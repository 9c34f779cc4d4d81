// Why no lock can be kept: which file or folder stands in the way, and what is wrong with it.
// The front ends turn it into a text that names the path and the fix.
#pragma once

#include <string>

namespace tarn {

struct LockProblem {
  enum class Kind {
    kNone,
    kFolderNotPrivate,  // the fallback folder is someone else's, open to others or no folder
    kNoFolder,          // the fallback folder cannot be made (Windows: no temporary folder)
    kFileForeign,       // the lock file is another user's and cannot be opened
    kFileNotPlain,      // a link or a folder stands where the lock file belongs
    kFileUnusable,      // the lock file cannot be made or opened for another reason
    kNotLockable,       // the lock file opens, but its file system refuses to lock it
  };
  Kind kind = Kind::kNone;
  std::string path;  // the file or folder named by `kind`
  bool operator==(const LockProblem&) const = default;
};

}  // namespace tarn
