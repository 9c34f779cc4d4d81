// Whole updates with the program's own image set: every block of it written and read back, a
// skipped boot area, and an answer later than its wait among the blocks of a full-size image.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "engine/flash_plan.h"
#include "engine/transfer.h"
#include "engine/update_sequence.h"
#include "firmware/embedded_images.h"
#include "sim/plan_expectations.h"
#include "sysex/device_status.h"
#include "sysex/host_requests.h"
#include "tests/support/engine_rig.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;
using sim::DeviceConfig;
using sim::FlashCheck;
using sim::PlanExpectations;

constexpr int32_t kBlocks133 = 29;
constexpr int32_t kBlocks142 = 35;
constexpr int32_t kBlocks129 = 123;
constexpr int32_t kBlocks136 = 1696;
constexpr int32_t kAllBlocks = kBlocks133 + kBlocks142 + kBlocks129 + kBlocks136 + 1;

// The step box of an update that reads each area back as it is written.
std::vector<std::string> VerifiedStepTexts() {
  std::vector<std::string> texts;
  for (int32_t step = 0; step <= 10; ++step) {
    texts.push_back(std::to_string(step) + "/10");
    if (step > 0 && FlashPlan[static_cast<size_t>(step - 1)].mode == PlanMode::kWrite)
      texts.push_back("Verify");
  }
  texts.push_back("10/10");
  return texts;
}

// Requests that name a flash address below `end`.
int32_t RequestsBelow(const sim::VirtualDevice& device, RequestKind kind, uint32_t end) {
  const auto log = device.Received();
  return static_cast<int32_t>(std::count_if(log.begin(), log.end(), [&](const auto& entry) {
    return entry.kind == kind && entry.address < end;
  }));
}

const std::vector<std::string> kCompleted{"RestoreControls", "EnableExecute(false)"};

TEST(EngineAgainstDevice, FullUpdateRewritesTheWholeFlash) {
  EngineRig rig(EmbeddedImages(), {});
  UpdateThreadProc(rig.context);

  EXPECT_EQ(rig.view.Calls(), kCompleted);
  ASSERT_FALSE(rig.view.StatusTexts().empty());
  EXPECT_EQ(rig.view.StatusTexts().back(), "Version update completed.");
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep), VerifiedStepTexts());
  const FlashCheck check = rig.device.VerifyFlash(PlanExpectations(EmbeddedImages()));
  EXPECT_TRUE(check.ok) << check.summary;

  const sim::VirtualDevice& device = rig.device;
  EXPECT_EQ(device.Count(RequestKind::kIdentityRequest), 1);
  EXPECT_EQ(device.Count(RequestKind::kBeginUpdate), 1);
  // The boot area's version, then every block once.
  EXPECT_EQ(device.Count(RequestKind::kReadFlash), 1 + kAllBlocks);
  EXPECT_EQ(device.Count(RequestKind::kEraseFlash), 5);
  EXPECT_EQ(device.Count(RequestKind::kWriteBlock), kAllBlocks);  // not one resent
  EXPECT_EQ(device.Count(RequestKind::kFinishUpdate), 1);
  for (const PlanStep& step : FlashPlan) {
    if (step.mode == PlanMode::kErase) {
      EXPECT_EQ(device.CountAt(RequestKind::kEraseFlash, step.address), 1) << step.address;
    }
  }
  // The version block goes in last, read back before the update is finished.
  const auto log = device.Received();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3].kind, RequestKind::kWriteBlock);
  EXPECT_EQ(log[log.size() - 3].address, 0xDF000u);
  EXPECT_EQ(log[log.size() - 2].kind, RequestKind::kReadFlash);
  EXPECT_EQ(log[log.size() - 2].address, 0xDF000u);
}

TEST(EngineAgainstDevice, CurrentBootAreaSkipsStepsFourAndFive) {
  DeviceConfig config;
  config.device.bootVersion = VersionText{'1', '.', '0', '0'};
  EngineRig rig(EmbeddedImages(), config);
  rig.context.SetVerify(false);  // the plan's own steps
  UpdateThreadProc(rig.context);

  EXPECT_EQ(rig.view.Calls(), kCompleted);
  EXPECT_EQ(rig.view.StatusTexts().back(), "Version update completed.");
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep), StepTexts(10));
  EXPECT_EQ(rig.device.CountAt(RequestKind::kEraseFlash, 0), 0);
  EXPECT_EQ(RequestsBelow(rig.device, RequestKind::kWriteBlock, 0x23000), 0);
  EXPECT_EQ(rig.device.Count(RequestKind::kEraseFlash), 4);
  EXPECT_EQ(rig.device.Count(RequestKind::kWriteBlock), kAllBlocks - kBlocks142);
  const FlashCheck check =
      rig.device.VerifyFlash(PlanExpectations(EmbeddedImages(), /*bootAreaRewritten=*/false));
  EXPECT_TRUE(check.ok) << check.summary;
  EXPECT_EQ(rig.device.FlashBytes(0x22FFC, 4), (std::vector<uint8_t>{'1', '.', '0', '0'}));
}

// Block 5 of image 133 is answered 1.05 s late: after its 1 s wait ran out, before the resend
// 100 ms later. That late answer must not pass for the answer to the resend (nor any later
// answer for its predecessor's request): every block waits for its own answer.
TEST(EngineAgainstDevice, AnswerAfterTheTimeOutIsNotTakenForTheResendsAnswer) {
  constexpr auto kLatency = 5ms;
  constexpr uint32_t kAddress = 0x23000;
  constexpr int32_t kLateBlock = 5;
  DeviceConfig config;
  config.latency = kLatency;
  config.faults.push_back(
      sim::FaultRule::DelayAnswer(RequestKind::kWriteBlock, kLateBlock, 1050ms - kLatency));
  Timing timing = QuickTiming();
  timing.blockWait = 1000ms;
  timing.retryPause = 100ms;
  EngineRig rig(EmbeddedImages(), config, timing);

  ASSERT_EQ(EraseArea(rig.context, kAddress, 0x1D000), 0);
  ASSERT_EQ(TransmitImage(rig.context, kAddress, 0, 133), 0);
  EXPECT_TRUE(rig.view.Calls().empty());

  EXPECT_EQ(rig.device.Count(RequestKind::kWriteBlock), kBlocks133 + 1);
  for (int32_t block = 0; block < kBlocks133; ++block) {
    const uint32_t address = kAddress + static_cast<uint32_t>(block) * 4096;
    EXPECT_EQ(rig.device.CountAt(RequestKind::kWriteBlock, address), block == kLateBlock ? 2 : 1)
        << block;
  }
  // The host can send a block only after the device answered the one before it, which takes
  // at least the latency; a block sent on a stale answer follows its predecessor at once.
  const auto log = rig.device.Received();
  for (size_t i = 2; i < log.size(); ++i) {
    EXPECT_GE(log[i].at - log[i - 1].at, kLatency) << "write request " << i - 1;
  }
  const auto image = EmbeddedImages().Find(133);
  ASSERT_TRUE(image);
  const FlashCheck check = rig.device.VerifyFlash({{{"image 133", kAddress, *image}}, {}});
  EXPECT_TRUE(check.ok) << check.summary;
}

}  // namespace
}  // namespace tarn::test
