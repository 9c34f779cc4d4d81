#include "instance/instance_limit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/holder_process.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/instance/lock_folder_test.h"
#endif

namespace tarn {
namespace {

// A running instance_holder and the number it claimed: 0 when refused, -1 when it could not be
// started or said nothing.
class InstanceHolder : public test::HolderProcess {
 public:
  InstanceHolder() : test::HolderProcess("instance_holder") {}
  int number() const { return firstLine().empty() ? -1 : std::stoi(firstLine()); }
};

TEST(InstanceNames, NumberOneHasNoSuffixAndTheRestCarryTheirNumber) {
  const struct {
    int number;
    const char* name;
  } cases[] = {
      {1, "DAXO R5x System v2.00 Updater"},
      {2, "DAXO R5x System v2.00 Updater (2)"},
      {10, "DAXO R5x System v2.00 Updater (10)"},
      {20, "DAXO R5x System v2.00 Updater (20)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InstanceName(c.number), c.name) << c.number;
  EXPECT_EQ(InstanceLimitMessage(),
            "It is forbidden to launch more than 20 instance of this application.");
}

// Each test claims names in a lock folder of its own, so parallel runs never meet. Windows
// mutex names are one namespace per session: there the tests must not run in parallel.
#ifdef _WIN32
class InstanceLimit : public ::testing::Test {};
#else
using InstanceLimit = test::LockFolderTest;
#endif

// Starts holders one after another and returns the numbers they claimed.
std::vector<int> StartHolders(std::vector<std::unique_ptr<InstanceHolder>>& holders, int count) {
  std::vector<int> numbers;
  for (int i = 0; i < count; ++i) {
    holders.push_back(std::make_unique<InstanceHolder>());
    numbers.push_back(holders.back()->number());
  }
  return numbers;
}

TEST_F(InstanceLimit, NewCopyTakesTheLowestFreeNumber) {
  std::vector<std::unique_ptr<InstanceHolder>> holders;
  EXPECT_EQ(StartHolders(holders, 3), (std::vector<int>{1, 2, 3}));
  holders[1]->End();
  EXPECT_EQ(InstanceHolder().number(), 2);
  holders[0]->End();
  InstanceHolder first;
  EXPECT_EQ(first.number(), 1);
  EXPECT_EQ(InstanceHolder().number(), 2);
}

TEST_F(InstanceLimit, TwentyFirstCopyIsRefusedAndHoldsNothing) {
  std::vector<std::unique_ptr<InstanceHolder>> holders;
  std::vector<int> expected;
  for (int n = 1; n <= kMaxInstances; ++n)
    expected.push_back(n);
  ASSERT_EQ(StartHolders(holders, kMaxInstances), expected);

  EXPECT_EQ(InstanceHolder().number(), 0);
  EXPECT_EQ(InstanceHolder().number(), 0);
  holders[19]->End();
  EXPECT_EQ(InstanceHolder().number(), 20);
  holders[4]->End();
  EXPECT_EQ(InstanceHolder().number(), 5);
}

TEST_F(InstanceLimit, KilledCopyFreesItsNumber) {
  std::vector<std::unique_ptr<InstanceHolder>> holders;
  ASSERT_EQ(StartHolders(holders, 3), (std::vector<int>{1, 2, 3}));
  holders[1]->Kill();
  EXPECT_EQ(InstanceHolder().number(), 2);
  holders[0]->Kill();
  holders[2]->Kill();
  EXPECT_EQ(InstanceHolder().number(), 1);
}

TEST_F(InstanceLimit, ClaimInThisProcessBlocksOthersUntilDestroyed) {
  auto claim = std::make_unique<InstanceClaim>();
  EXPECT_EQ(claim->number(), 0);
  EXPECT_EQ(ClaimInstanceNumber(*claim), 1);
  // Started while this process holds 1: it must not inherit that hold.
  InstanceHolder other;
  EXPECT_EQ(other.number(), 2);
  // Claiming again keeps the number held instead of taking a second one.
  EXPECT_EQ(ClaimInstanceNumber(*claim), 1);
  EXPECT_EQ(InstanceHolder().number(), 3);
  claim.reset();
  EXPECT_EQ(InstanceHolder().number(), 1);
}

#ifndef _WIN32

// The lock file of `number` in `folder` is held by someone (this process counts).
bool IsLocked(const std::string& folder, int number) {
  const int fd = open((folder + "/" + InstanceName(number) + ".lock").c_str(), O_RDWR);
  if (fd < 0) return false;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return locked;
}

// A runtime folder that cannot hold lock files is not twenty running copies: the claim moves to
// the private fallback folder.
TEST_F(InstanceLimit, UnusableRuntimeFolderFallsBackToThePrivateFolder) {
  const std::string file = PlainFile("not-a-folder");
  const std::string base = m_folder + "/tmp";
  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  const std::string fallback = base + "/tarn-updater-" + std::to_string(getuid());
  // Below a plain file no lock file can be made, even by root.
  for (const std::string& runtime : {file + "/run", file, m_folder + "/missing"}) {
    SCOPED_TRACE(runtime);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    InstanceClaim claim;
    EXPECT_EQ(ClaimInstanceNumber(claim, base), 1);
    EXPECT_TRUE(IsLocked(fallback, 1));
  }
}

// Where no folder can be used the claim says so, and which folder, instead of reporting every
// number taken.
TEST_F(InstanceLimit, NoUsableFolderIsReportedAndNamed) {
  const std::string file = PlainFile("not-a-folder");
  const std::string own = "/tarn-updater-" + std::to_string(getuid());
  const std::string openToAll = m_folder + "/open-to-all";
  ASSERT_EQ(mkdir(openToAll.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((openToAll + own).c_str(), 0755), 0);
  setenv("XDG_RUNTIME_DIR", (file + "/run").c_str(), 1);
  // A base below a plain file, and a fallback folder that others could tamper with.
  const struct {
    std::string base;
    LockProblem::Kind kind;
  } cases[] = {
      {file, LockProblem::Kind::kNoFolder},
      {openToAll, LockProblem::Kind::kFolderNotPrivate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    InstanceClaim claim;
    EXPECT_EQ(ClaimInstanceNumber(claim, c.base), kNoInstanceLock);
    EXPECT_EQ(claim.number(), 0);
    EXPECT_EQ(claim.problem(), (LockProblem{c.kind, c.base + own}));
  }
}

// A lock file that cannot be opened is no running copy: the claim neither skips to the next
// number nor calls the name taken, and names the file.
TEST_F(InstanceLimit, OnlyALockHeldByAnotherCopyCountsAsTaken) {
  InstanceHolder first;
  ASSERT_EQ(first.number(), 1);
  const std::string second = m_folder + "/" + InstanceName(2) + ".lock";
  ASSERT_EQ(mkdir(second.c_str(), 0700), 0);
  InstanceClaim claim;
  EXPECT_EQ(ClaimInstanceNumber(claim, m_folder + "/no-fallback"), kNoInstanceLock);
  EXPECT_EQ(claim.problem(), (LockProblem{LockProblem::Kind::kFileNotPlain, second}));
  EXPECT_FALSE(IsLocked(m_folder, 3));
}

// A lock file of ours left with mode 000 is no reason to refuse: its number is claimed.
TEST_F(InstanceLimit, OwnLockFileWithModeZeroIsClaimed) {
  const std::string path = m_folder + "/" + InstanceName(1) + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0000);
  ASSERT_GE(fd, 0);
  close(fd);
  InstanceClaim claim;
  EXPECT_EQ(ClaimInstanceNumber(claim, m_folder + "/no-fallback"), 1);
  EXPECT_EQ(claim.problem(), LockProblem{});
  EXPECT_TRUE(IsLocked(m_folder, 1));
}

TEST_F(InstanceLimit, WithoutUsableRuntimeFolderLocksLiveInPrivateTmpFolder) {
  const std::string folder = "/tmp/tarn-updater-" + std::to_string(getuid());
  for (const char* runtime : {static_cast<const char*>(nullptr), "", "relative/run"}) {
    SCOPED_TRACE(runtime == nullptr ? "unset" : runtime);
    if (runtime == nullptr) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", runtime, 1);
    }
    InstanceClaim claim;
    const int number = ClaimInstanceNumber(claim);
    // Real copies of the updater may hold some numbers in the shared folder.
    ASSERT_GT(number, 0);
    const int fd = open((folder + "/" + InstanceName(number) + ".lock").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0) << "the claimed number's file is not locked";
    close(fd);
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
  }
}

#endif

}  // namespace
}  // namespace tarn
