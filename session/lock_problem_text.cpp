#include "session/lock_problem_text.h"

#include <cstdint>

#include "resources/string_table.h"

namespace tarn {
namespace {

int32_t TextId(LockProblem::Kind kind) {
  switch (kind) {
    case LockProblem::Kind::kNone:
      return 0;
    case LockProblem::Kind::kFolderNotPrivate:
      return ids::kLockFolderNotPrivate;
    case LockProblem::Kind::kNoFolder:
      return ids::kLockFolderMissing;
    case LockProblem::Kind::kFileForeign:
      return ids::kLockFileForeign;
    case LockProblem::Kind::kFileNotPlain:
      return ids::kLockFileNotPlain;
    case LockProblem::Kind::kFileUnusable:
      return ids::kLockFileUnusable;
    case LockProblem::Kind::kNotLockable:
      return ids::kLockFileNotLockable;
  }
  return 0;
}

}  // namespace

std::string LockProblemText(const LockProblem& problem) {
  const int32_t id = TextId(problem.kind);
  // A text that names no path would send the user looking for nothing.
  if (id == 0 || problem.path.empty()) return {};
  return FormatString(id, problem.path);
}

}  // namespace tarn
