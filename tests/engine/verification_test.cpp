// Reading the written flash back before the update is finished: what a healthy, a lying, a
// corrupting and a device that cannot read back each lead to.
#include "engine/verification.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/flash_plan.h"
#include "tests/engine/engine_fixture.h"

namespace tarn::test {
namespace {

// Image 129 (9000 bytes at 0x40000): its second block.
constexpr uint32_t kLiedAbout = 0x41000;

struct VerifyCase {
  const char* name;
  // Sets up the device's faults; `writes` counts the write requests per address.
  std::function<void(FakeDevice&, std::shared_ptr<std::map<uint32_t, int32_t>> writes)> device;
  OutcomeKind kind;
  Verification verification;
  const char* failure;  // nullptr: none
  int32_t writesOfTheLiedAboutBlock;
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const VerifyCase& c, std::ostream* out) {
  *out << c.name;
}

// Reads larger than the boot check's four bytes answered by `answer`.
void LargeReadsAnswered(FakeDevice& device,
                        std::function<std::vector<Reply>(const Bytes&)> answer) {
  device.On(Request::kRead, [&device, answer](const Bytes& request, int32_t) {
    return RequestCount(request) > 4 ? answer(request) : device.Healthy(request);
  });
}

class Verify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, FinishesOnlyWhatReadsBackRight) {
  const VerifyCase& c = GetParam();
  EngineRig rig(ShortWaits());
  rig.context.SetVerify(true);
  auto writes = std::make_shared<std::map<uint32_t, int32_t>>();
  rig.device.On(Request::kWrite, [&rig, writes](const Bytes& request, int32_t) {
    ++(*writes)[RequestAddress(request)];
    return rig.device.Healthy(request);
  });
  if (c.device) c.device(rig.device, writes);
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());

  EXPECT_EQ(rig.outcome->kind, c.kind);
  EXPECT_EQ(rig.outcome->verification, c.verification);
  EXPECT_EQ(FormatText(rig.outcome->failure), c.failure ? c.failure : "");
  EXPECT_EQ(rig.device.Count(Request::kFinish), c.kind == OutcomeKind::kCompleted ? 1 : 0);
  EXPECT_EQ((*writes)[kLiedAbout], c.writesOfTheLiedAboutBlock);
  if (c.verification == Verification::kVerified) {
    for (const PlanStep& step : FlashPlan) {
      if (step.mode != PlanMode::kWrite) continue;
      const Bytes& image = rig.images.Image(step.imageId);
      EXPECT_EQ(rig.device.Flash(step.address, image.size()), image) << step.imageId;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Verify,
    ::testing::Values(
        VerifyCase{"Healthy", {}, OutcomeKind::kCompleted, Verification::kVerified, nullptr, 1},
        // Says it stored the block and did not: read back erased, written again, read again.
        VerifyCase{"LiesAboutOneBlock",
                   [](FakeDevice& device, auto writes) {
                     device.On(Request::kWrite, [&device, writes](const Bytes& request, int32_t) {
                       const uint32_t address = RequestAddress(request);
                       if (++(*writes)[address] == 1 && address == kLiedAbout) {
                         return std::vector<Reply>{{StatusMessage(0)}};
                       }
                       return device.Healthy(request);
                     });
                   },
                   OutcomeKind::kCompleted, Verification::kVerified, nullptr, 2},
        // Never stores it: the second read still finds it erased.
        VerifyCase{"NeverStoresOneBlock",
                   [](FakeDevice& device, auto writes) {
                     device.On(Request::kWrite, [&device, writes](const Bytes& request, int32_t) {
                       const uint32_t address = RequestAddress(request);
                       ++(*writes)[address];
                       if (address == kLiedAbout) return std::vector<Reply>{{StatusMessage(0)}};
                       return device.Healthy(request);
                     });
                   },
                   OutcomeKind::kFailed, Verification::kNotAsked, "Transfer error occurred.", 2},
        VerifyCase{"CorruptsOneBlock",
                   [](FakeDevice& device, auto writes) {
                     device.On(Request::kWrite, [&device, writes](const Bytes& request, int32_t) {
                       const uint32_t address = RequestAddress(request);
                       ++(*writes)[address];
                       std::vector<Reply> replies = device.Healthy(request);
                       if (address == kLiedAbout) device.SetFlash(address + 17, Bytes{0x00});
                       return replies;
                     });
                   },
                   OutcomeKind::kFailed, Verification::kNotAsked, "Transfer error occurred.", 1},
        VerifyCase{"RefusesLargeReads",
                   [](FakeDevice& device, auto) {
                     LargeReadsAnswered(device, [](const Bytes&) {
                       return std::vector<Reply>{{StatusMessage(5)}};
                     });
                   },
                   OutcomeKind::kCompleted, Verification::kNotPossible, nullptr, 1},
        VerifyCase{"AnswersLargeReadsShort",
                   [](FakeDevice& device, auto) {
                     LargeReadsAnswered(device, [&device](const Bytes& request) {
                       return std::vector<Reply>{
                           {ReadFlashReplyMessage(device.Flash(RequestAddress(request), 4))}};
                     });
                   },
                   OutcomeKind::kCompleted, Verification::kNotPossible, nullptr, 1},
        VerifyCase{"AnswersLargeReadsWithAStatus",
                   [](FakeDevice& device, auto) {
                     LargeReadsAnswered(device, [](const Bytes&) {
                       return std::vector<Reply>{{StatusMessage(0)}};
                     });
                   },
                   OutcomeKind::kCompleted, Verification::kNotPossible, nullptr, 1},
        VerifyCase{"IgnoresLargeReads",
                   [](FakeDevice& device, auto) {
                     LargeReadsAnswered(device, [](const Bytes&) { return std::vector<Reply>{}; });
                   },
                   OutcomeKind::kCompleted, Verification::kNotPossible, nullptr, 1},
        // Reads worked, then stop: not a device that cannot read, a device gone quiet.
        VerifyCase{"StopsAnsweringReads",
                   [](FakeDevice& device, auto) {
                     auto reads = std::make_shared<int32_t>(0);
                     LargeReadsAnswered(device, [&device, reads](const Bytes& request) {
                       if (++*reads > 3) return std::vector<Reply>{};
                       return device.Healthy(request);
                     });
                   },
                   OutcomeKind::kFailed, Verification::kNotAsked, "Time out error(2)", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Verify, ShowsItsOwnStepAndProgressOverTheBytesWritten) {
  EngineRig rig;
  rig.context.SetVerify(true);
  rig.RunUpdate();
  ASSERT_EQ(rig.outcome->verification, Verification::kVerified);
  const auto steps = rig.view.Texts(ViewCall::kStep);
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.back(), "Verify");
  int32_t written = 0;
  for (const PlanStep& step : FlashPlan) {
    if (step.mode == PlanMode::kWrite)
      written += static_cast<int32_t>(rig.images.Image(step.imageId).size());
  }
  const auto ranges = rig.view.Of(ViewCall::kRange);
  EXPECT_EQ(ranges.back().second, written);
  EXPECT_EQ(rig.view.Of(ViewCall::kPosition).back().first, written);
  const auto status = rig.view.Texts(ViewCall::kStatus);
  EXPECT_NE(std::find(status.begin(), status.end(),
                      "Verifying flash memory  0 / " + std::to_string(written) + " "),
            status.end());
  // One read per block written, each within the input buffer, and the update finished after.
  const auto reads = rig.device.Sent(Request::kRead);
  ASSERT_GT(reads.size(), 1u);
  for (size_t i = 1; i < reads.size(); ++i)
    EXPECT_LE(RequestCount(reads[i]), 4096u);
  EXPECT_EQ(rig.device.SentKinds().back(), Request::kFinish);
}

}  // namespace
}  // namespace tarn::test
