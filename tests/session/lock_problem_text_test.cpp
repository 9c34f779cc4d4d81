// The texts the dialogs and the CLI show when no lock can be kept: the path and its fix, and
// the instance refusal that uses them.
#include "session/lock_problem_text.h"

#include <gtest/gtest.h>

#include <string>

#include "instance/instance_limit.h"
#include "session/instance_refusal.h"

namespace tarn {
namespace {

// A device lock's file name escapes bytes as %XX: the path must come out as it is, never be
// read as a format.
const std::string kRuntimeFile = "/run/user/1000/tarn-updater-alsa%2Fhw%3A1%2C0%2C0.lock";
const std::string kFallback = "/tmp/tarn-updater-1000";

TEST(LockProblemText, NamesThePathAndTheFix) {
  const struct {
    LockProblem problem;
    std::string text;
  } cases[] = {
      {{LockProblem::Kind::kFileForeign, kRuntimeFile},
       "The lock file " + kRuntimeFile +
           " cannot be opened (permission denied); it was probably left by an updater run as "
           "another user (with sudo). Remove it (sudo rm '" +
           kRuntimeFile + "') and try again."},
      {{LockProblem::Kind::kFileNotPlain, kRuntimeFile},
       "A link or a folder stands where the lock file " + kRuntimeFile +
           " belongs, so no lock can be kept there. Remove it and try again."},
      {{LockProblem::Kind::kFileUnusable, kRuntimeFile},
       "The lock file " + kRuntimeFile +
           " cannot be made or opened. Check that its folder exists and that you may write in "
           "it, and try again."},
      {{LockProblem::Kind::kFolderNotPrivate, kFallback},
       "The folder /tmp/tarn-updater-1000 is not yours alone (owner or permissions), so no lock "
       "can be kept there safely. Remove it, or set XDG_RUNTIME_DIR to a folder of yours, and "
       "try again."},
      {{LockProblem::Kind::kNoFolder, kFallback},
       "The folder /tmp/tarn-updater-1000 for the lock files cannot be made. Set XDG_RUNTIME_DIR "
       "to a folder of yours and try again."},
      {{LockProblem::Kind::kNotLockable, kRuntimeFile},
       "The lock file " + kRuntimeFile +
           " cannot be locked (its file system refuses locks). Set XDG_RUNTIME_DIR to a local "
           "folder of yours and try again."},
      // Nothing to name: the callers keep their own text.
      {{}, ""},
      {{LockProblem::Kind::kNoFolder, ""}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem.path);
    EXPECT_EQ(LockProblemText(c.problem), c.text) << static_cast<int>(c.problem.kind);
  }
}

// A named problem replaces the generic text of a claim that could not look; twenty running
// copies are still told as such.
TEST(InstanceRefusalText, NamesTheLockProblemInsteadOfTheGenericTexts) {
  const LockProblem folder{LockProblem::Kind::kFolderNotPrivate, kFallback};
  const std::string limit = "It is forbidden to launch more than 20 instance of this application.";
  const std::string noLock =
      "Can't start: no folder for the instance locks of this updater can be used "
      "(XDG_RUNTIME_DIR or /tmp).";
  const struct {
    int claimResult;
    LockProblem problem;
    std::string text;
  } cases[] = {
      {kNoInstanceLock, folder, LockProblemText(folder)},
      {kNoInstanceLock, {}, noLock},
      {0, {}, limit},
      {0, folder, limit},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstanceRefusalText(c.claimResult, c.problem), c.text)
        << c.claimResult << " " << c.problem.path;
  }
}

}  // namespace
}  // namespace tarn
