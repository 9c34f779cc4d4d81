// Reading each area back right after it was written: what a healthy, a lying, a corrupting
// and a device that cannot read back each lead to.
#include "engine/verification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "engine/flash_plan.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// Image 129 (9000 bytes at 0x40000): its second block.
constexpr uint32_t kLiedAbout = 0x41000;
constexpr uint32_t kVersionBlock = 0xDF000;

struct VerifyCase {
  const char* name;
  const char* fault;  // a fault rule, or nullptr
  OutcomeKind kind;
  Verification verification;
  const char* failure;  // nullptr: none
  int32_t writesOfTheLiedAboutBlock;
  int32_t erasesOfItsArea = 1;
};

using test::PrintTo;

class Verify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, FinishesOnlyWhatReadsBackRight) {
  const VerifyCase& c = GetParam();
  EngineRig rig(ShortWaits());
  if (c.fault) rig.AddFaults({c.fault});
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());
  if (c.fault) {
    EXPECT_GT(rig.device.FaultHits(0), 0) << c.fault;
  }

  EXPECT_EQ(rig.outcome->kind, c.kind);
  EXPECT_EQ(rig.outcome->verification, c.verification);
  EXPECT_EQ(FormatText(rig.outcome->failure), c.failure ? c.failure : "");
  EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate),
            c.kind == OutcomeKind::kCompleted ? 1 : 0);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kWriteBlock, kLiedAbout), c.writesOfTheLiedAboutBlock);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kEraseFlash, 0x40000), c.erasesOfItsArea);
  // A device that cannot read back is never shown verifying, not even while the first read
  // finds that out.
  if (c.verification == Verification::kNotPossible) {
    const auto steps = rig.view.Texts(ViewCall::kStep);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "Verify"), 0);
    for (const std::string& status : rig.view.Texts(ViewCall::kStatus))
      EXPECT_NE(status.rfind("Verifying", 0), 0u) << status;
  }
  // The version block only goes over areas that read back right.
  if (c.kind == OutcomeKind::kFailed) {
    EXPECT_EQ(rig.device.CountAt(RequestKind::kWriteBlock, kVersionBlock), 0);
  }
  if (c.verification == Verification::kVerified) {
    EXPECT_TRUE(rig.FlashHoldsTheImages());
  }
}

// Reads of more than the boot check's four bytes are the read-back's (over=4).
INSTANTIATE_TEST_SUITE_P(
    Cases, Verify,
    ::testing::Values(
        VerifyCase{"Healthy", nullptr, OutcomeKind::kCompleted, Verification::kVerified, nullptr,
                   1},
        // Says it stored the block and did not: read back erased, written again, read again.
        VerifyCase{"LiesAboutOneBlock", "lie,at=0x41000", OutcomeKind::kCompleted,
                   Verification::kVerified, nullptr, 2},
        // Never stores it: it is written again within the block's limit, then given up.
        VerifyCase{"NeverStoresOneBlock", "lie,at=0x41000,count=all", OutcomeKind::kFailed,
                   Verification::kNotAsked, "Transfer error occurred.", 32},
        // Stores it wrong, which no write can mend: the area is erased and written again.
        VerifyCase{"CorruptsOneBlockOnce", "store-wrong,at=0x41000", OutcomeKind::kCompleted,
                   Verification::kVerified, nullptr, 2, 2},
        // Every time: after the area was written again, the difference ends the update.
        VerifyCase{"CorruptsOneBlock", "store-wrong,at=0x41000,count=all", OutcomeKind::kFailed,
                   Verification::kNotAsked, "Transfer error occurred.", 2, 2},
        VerifyCase{"RefusesLargeReads", "status=5,over=4,count=all", OutcomeKind::kCompleted,
                   Verification::kNotPossible, nullptr, 1},
        VerifyCase{"AnswersLargeReadsShort", "short-read=4,count=all", OutcomeKind::kCompleted,
                   Verification::kNotPossible, nullptr, 1},
        VerifyCase{"AnswersLargeReadsWithAStatus", "status=0,over=4,count=all",
                   OutcomeKind::kCompleted, Verification::kNotPossible, nullptr, 1},
        VerifyCase{"IgnoresLargeReads", "ignore,over=4,count=all", OutcomeKind::kCompleted,
                   Verification::kNotPossible, nullptr, 1},
        // The reply comes after the wait, and the reply to the read tried again right behind
        // it: the buffer takes one of them, and the read goes on.
        VerifyCase{"AnswersOneReadLate", "delay=45,over=4,skip=2", OutcomeKind::kCompleted,
                   Verification::kVerified, nullptr, 1},
        // Reads worked, then stop: not a device that cannot read, a device gone quiet. It ends
        // in the first area, before the next one is erased.
        VerifyCase{"StopsAnsweringReads", "ignore,over=4,skip=3,count=all", OutcomeKind::kFailed,
                   Verification::kNotAsked, "Time out error(2)", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Each area is read back right after its last block, before anything else is erased, and the
// version block, written last, is read back before the update is finished.
TEST(Verify, ReadsEachAreaBackBeforeTheNextErase) {
  EngineRig rig;
  rig.RunUpdate();
  ASSERT_EQ(rig.outcome->verification, Verification::kVerified);
  std::vector<std::pair<RequestKind, uint32_t>> order;
  for (const sim::ReceivedMessage& request : rig.device.Received()) {
    const RequestKind kind = request.kind;
    if (kind == RequestKind::kWriteBlock || kind == RequestKind::kReadFlash ||
        kind == RequestKind::kEraseFlash)
      order.emplace_back(kind, request.address);
  }
  std::vector<std::pair<RequestKind, uint32_t>> expected{{RequestKind::kReadFlash, 0x22FFC}};
  for (const PlanStep& step : FlashPlan) {
    if (step.mode == PlanMode::kErase) {
      expected.emplace_back(RequestKind::kEraseFlash, step.address);
      continue;
    }
    const auto size = static_cast<uint32_t>(rig.images.Image(step.imageId).size());
    for (const RequestKind kind : {RequestKind::kWriteBlock, RequestKind::kReadFlash}) {
      for (uint32_t offset = 0; offset < size; offset += kBlockSize)
        expected.emplace_back(kind, step.address + offset);
    }
  }
  EXPECT_EQ(order, expected);
  EXPECT_EQ(rig.Kinds().back(), RequestKind::kFinishUpdate);
  for (const sim::ReceivedMessage& read : rig.Requests(RequestKind::kReadFlash))
    EXPECT_LE(read.count, static_cast<uint32_t>(kBlockSize));
}

TEST(Verify, ShowsItsOwnStepAndTheBytesVerifiedOfEachArea) {
  EngineRig rig;
  rig.RunUpdate();
  ASSERT_EQ(rig.outcome->verification, Verification::kVerified);
  const auto steps = rig.view.Texts(ViewCall::kStep);
  const auto verify = std::find(steps.begin(), steps.end(), "Verify");
  ASSERT_NE(verify, steps.end());
  EXPECT_EQ(*(verify - 1), "3/10");
  EXPECT_EQ(*(verify + 1), "4/10");
  ASSERT_GE(steps.size(), 2u);
  EXPECT_EQ(steps[steps.size() - 2], "Verify");
  EXPECT_EQ(steps.back(), "10/10");
  // Image 133 is the first area written; the version block, 4096 bytes, the last.
  const auto first = static_cast<int32_t>(rig.images.Image(133).size());
  const auto status = rig.view.Texts(ViewCall::kStatus);
  EXPECT_NE(std::find(status.begin(), status.end(),
                      "Verifying flash memory  0 / " + std::to_string(first) + " "),
            status.end());
  EXPECT_EQ(rig.view.Of(ViewCall::kRange).back().second, kBlockSize);
  EXPECT_EQ(rig.view.Of(ViewCall::kPosition).back().first, kBlockSize);
  // Completed only after the last area read back right.
  EXPECT_EQ(status.back(), "Version update completed.");
}

// Without verification nothing but the boot version is read.
TEST(Verify, OffReadsNothingBack) {
  EngineRig rig;
  rig.context.SetVerify(false);
  rig.RunUpdate();
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kCompleted);
  EXPECT_EQ(rig.outcome->verification, Verification::kNotAsked);
  EXPECT_EQ(rig.device.Count(RequestKind::kReadFlash), 1);
  EXPECT_EQ(rig.view.Count(ViewCall::kStep), 11);
}

}  // namespace
}  // namespace tarn::test
