// Answers that come late, twice, not at all, or from an earlier run never confirm a request
// for other data, and what counting cannot see the read-back of each area finds: whatever
// happens, the update either leaves every image in the flash or ends with an error text. Times
// are a tenth of the real ones; what matters is how they compare with the waits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "sim/fault_rule.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"
#include "tests/support/test_timing.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// A tenth of each real time, but for the pause after begin, which is shorter still.
const Timing kTenthOfTheRealTimes =
    TestTiming({.blockWait = 100ms, .retryPause = 10ms, .settleWait = 500ms, .eraseWait = 6s});

// What the update without a read-back makes of the fault.
enum class Unverified {
  kCompletes,         // counting pairs every answer right
  kFails,             // an answer came that no request was owed: "Transfer error occurred."
  kCompletesOrFails,  // either, as the timing falls; never success over a wrong flash
  kCompletesUnseen,   // counting cannot see it: "completed" over a wrong flash
};

struct PairingCase {
  const char* name;
  // Each acts on the first request it matches; the last refuses, once, the request that comes
  // right after the hit one.
  std::vector<std::string_view> faults;
  Unverified unverified = Unverified::kCompletes;
};

using test::PrintTo;

class Pairing : public ::testing::TestWithParam<std::tuple<PairingCase, bool>> {};

TEST_P(Pairing, NeverCompletesWithABlockMissing) {
  const auto& [c, verify] = GetParam();
  // As on a real link: answers held back arrive one by one, not in one batch.
  sim::DeviceConfig config;
  config.answerGap = 3ms;
  EngineRig rig(kTenthOfTheRealTimes, SmallImageSet(), config);
  rig.context.SetVerify(verify);
  rig.AddFaults(c.faults);
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());
  // The refusal, last, may not be reached when the update ends at the fault; see below.
  for (size_t i = 0; i + 1 < c.faults.size(); ++i)
    EXPECT_EQ(rig.device.FaultHits(static_cast<int32_t>(i)), 1) << c.faults[i];

  const bool flashRight = rig.FlashHoldsTheImages();
  if (!verify &&
      (c.unverified == Unverified::kFails || (c.unverified == Unverified::kCompletesOrFails &&
                                              rig.outcome->kind != OutcomeKind::kCompleted))) {
    // Honest about it: an error text, and the device is not told the update is done.
    EXPECT_EQ(rig.outcome->kind, OutcomeKind::kFailed);
    EXPECT_EQ(FormatText(rig.outcome->failure), "Transfer error occurred.");
    EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
    return;
  }
  if (!verify && c.unverified == Unverified::kCompletesUnseen) {
    // Why every area is read back: the fault leaves the flash wrong, and nothing else in the
    // update can tell. (A copy that comes before the next request is sent is seen, and ends
    // the update honestly.)
    if (rig.outcome->kind == OutcomeKind::kCompleted) {
      EXPECT_FALSE(flashRight);
    } else {
      EXPECT_EQ(FormatText(rig.outcome->failure), "Transfer error occurred.");
    }
    return;
  }
  // The refusal happened and was answered by sending that request again.
  const auto refusal = sim::ParseFaultRule(c.faults.back());
  ASSERT_TRUE(refusal && refusal->kind && refusal->address);
  EXPECT_EQ(rig.device.FaultHits(static_cast<int32_t>(c.faults.size()) - 1), 1);
  EXPECT_GE(rig.device.CountAt(*refusal->kind, *refusal->address), 2);
  // Every other fault is survived, and what the update says is what the flash holds.
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kCompleted) << FormatText(rig.outcome->failure);
  EXPECT_EQ(rig.outcome->verification, verify ? Verification::kVerified : Verification::kNotAsked);
  EXPECT_TRUE(flashRight);
}

// Image 133 is two blocks at 0x23000; image 142, the boot image, follows it at 0 after the boot
// area's erase.
const PairingCase kCases[] = {
    {"LateByMoreThanTheWait",
     {"delay=120,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"}},
    {"LateByFiveWaits", {"delay=500,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"}},
    {"LateByTwentyNineWaits",
     {"delay=2900,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"}},
    {"SentTwice",
     {"duplicate,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"},
     Unverified::kFails},
    {"Dropped", {"drop,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"}},
    // The answer to an image's last block must not release the next erase's wait.
    {"LastBlockLateBeforeAnErase", {"delay=250,kind=write,at=0x24000", "status=1,kind=erase,at=0"}},
    {"EraseAnsweredTwice",
     {"duplicate,kind=erase,at=0x23000", "status=1,kind=write,at=0x23000"},
     Unverified::kFails},
    {"AnEarlierRunsAnswersFirst", {"stale,kind=identity", "status=1,kind=write,at=0x24000"}},
    // Later than the settle time, while the answers behind it come: it may confirm the wrong
    // request, and only the read-back shows nothing is missing.
    {"LateBeyondTheSettle",
     {"late=700,kind=write,at=0x23000", "status=1,kind=write,at=0x24000"},
     Unverified::kCompletesOrFails},
    // The copy confirms the next write, which never reached the device: the counts balance.
    {"SentTwiceThenOneLost",
     {"duplicate=30,kind=write,at=0x23000", "ignore,kind=write,at=0x24000",
      "status=1,kind=write,at=0x1000"},
     Unverified::kCompletesUnseen},
    {"StoredWrong",
     {"store-wrong,at=0x24000", "status=1,kind=write,at=0x1000"},
     Unverified::kCompletesUnseen},
};

INSTANTIATE_TEST_SUITE_P(Faults, Pairing,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "ReadBack" : "");
                         });

}  // namespace
}  // namespace tarn::test
