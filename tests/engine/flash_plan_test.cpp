#include "engine/flash_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

const Bytes kVersion(kBootVersion, kBootVersion + 4);

// These follow the plan's own steps; reading each area back has its tests in
// verification_test, and is turned off where they would only add to the requests.

std::vector<std::string> PlanStepTexts() {
  std::vector<std::string> texts;
  for (int step = 1; step <= 10; ++step)
    texts.push_back(std::to_string(step) + "/10");
  return texts;
}

// Where each image is written, in the order of the writes: the boot image (142) second.
struct ImageWrite {
  uint32_t address;
  int32_t imageId;
};
const ImageWrite kImageWrites[] = {
    {0x23000, 133}, {0x0, 142}, {0x40000, 129}, {0x160000, 136}, {0xDF000, 139}};

// Where every block of the writes goes, in order.
std::vector<uint32_t> BlockAddresses(const MemoryImages& images, bool withBoot) {
  std::vector<uint32_t> addresses;
  for (const auto& [address, imageId] : kImageWrites) {
    if (address == 0 && !withBoot) continue;
    const size_t size = images.Image(imageId).size();
    for (size_t offset = 0; offset < size; offset += 4096) {
      addresses.push_back(address + static_cast<uint32_t>(offset));
    }
  }
  return addresses;
}

bool TouchesBootArea(const EngineRig& rig) {
  for (const auto& [address, count] : rig.Erases()) {
    if (address == 0) return true;
  }
  for (const uint32_t address : rig.WriteAddresses()) {
    if (address < 0x23000) return true;
  }
  return false;
}

TEST(FlashPlan, ReadsTheBootVersionFirst) {
  EngineRig rig;
  rig.context.SetVerify(false);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  const auto received = rig.device.Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].kind, RequestKind::kReadFlash);
  EXPECT_EQ(received[0].bytes->size(), 17u);
  EXPECT_EQ(received[0].address, 0x22FFCu);
  EXPECT_EQ(received[0].count, 4u);
  // The read asked for four bytes, and without verification it is the run's only read.
  EXPECT_EQ(rig.context.ReadBack().Received().size(), 4u);
}

TEST(FlashPlan, CurrentBootAreaIsSkippedButItsStepsAreCounted) {
  EngineRig rig;
  rig.context.SetVerify(false);
  rig.device.PresetFlash(0x22FFC, kVersion);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  EXPECT_FALSE(TouchesBootArea(rig));
  EXPECT_EQ(rig.WriteAddresses(), BlockAddresses(rig.images, false));
  EXPECT_EQ(rig.Erases(),
            (std::vector<std::pair<uint32_t, uint32_t>>{
                {0xDF000, 0x1000}, {0x23000, 0x1D000}, {0x40000, 0x9F000}, {0x160000, 0x6A0000}}));
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep), PlanStepTexts());
}

TEST(FlashPlan, AnyOtherBootVersionRunsAllTenSteps) {
  for (const Bytes& flash : {Bytes{'1', '.', '0', '1'}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}}) {
    EngineRig rig;
    rig.context.SetVerify(false);
    rig.device.PresetFlash(0x22FFC, flash);
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    EXPECT_EQ(rig.Erases(), (std::vector<std::pair<uint32_t, uint32_t>>{{0xDF000, 0x1000},
                                                                        {0x23000, 0x1D000},
                                                                        {0x0, 0x23000},
                                                                        {0x40000, 0x9F000},
                                                                        {0x160000, 0x6A0000}}));
    EXPECT_EQ(rig.WriteAddresses(), BlockAddresses(rig.images, true));
    EXPECT_EQ(rig.view.Texts(ViewCall::kStep), PlanStepTexts());
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  }
}

TEST(FlashPlan, ShortBootImageAlwaysRewritesTheBootArea) {
  MemoryImages images = SmallImageSet();
  images.Put(142, kVersion);
  EngineRig rig(QuickTiming(), std::move(images));
  rig.device.PresetFlash(0x22FFC, kVersion);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  EXPECT_TRUE(TouchesBootArea(rig));
}

// A status answer instead of data: only bytes that this read delivered count, so a version
// left in the buffer by an earlier read cannot skip the boot area.
TEST(FlashPlan, AnswerWithoutDataRewritesTheBootArea) {
  for (const std::string_view answer :
       {"status=0,kind=read,count=all", "done,kind=read,count=all"}) {
    EngineRig rig;
    rig.device.PresetFlash(0x22FFC, kVersion);
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    ASSERT_FALSE(TouchesBootArea(rig));
    rig.AddFaults({answer});
    const size_t before = rig.device.Received().size();
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    const auto erases = rig.Erases();
    EXPECT_EQ(std::count(erases.begin(), erases.end(), std::pair<uint32_t, uint32_t>{0, 0x23000}),
              1);
    EXPECT_GT(rig.device.Received().size(), before);
  }
}

// The device holds the current boot version, but its answer to the check is of no use.
struct BootCheckFailure {
  const char* name;
  const char* fault;
};

using test::PrintTo;

class BootCheckFails : public ::testing::TestWithParam<BootCheckFailure> {};

TEST_P(BootCheckFails, EndsThePlanWithoutABoxBeforeTheFirstStep) {
  EngineRig rig(ShortWaits());
  rig.device.PresetFlash(0x22FFC, kVersion);
  rig.AddFaults({GetParam().fault});
  EXPECT_EQ(RunFlashPlan(rig.context), -1);
  EXPECT_EQ(rig.Kinds(), std::vector<RequestKind>{RequestKind::kReadFlash});
  const auto events = rig.view.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].call, ViewCall::kRestore);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BootCheckFails,
    ::testing::Values(BootCheckFailure{"NoAnswer", "ignore,kind=read,count=all"},
                      BootCheckFailure{"DeviceFailure", "status=3,kind=read,count=all"},
                      BootCheckFailure{"BadChecksum", "corrupt-crc,count=all"},
                      BootCheckFailure{"Truncated", "cut=14,kind=read,count=all"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlashPlan, MissingBootImageIsReportedBeforeAnythingIsSent) {
  MemoryImages images = SmallImageSet();
  images.Remove(142);
  EngineRig rig(QuickTiming(), std::move(images));
  EXPECT_EQ(RunFlashPlan(rig.context), -1);
  EXPECT_TRUE(rig.device.Received().empty());
  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Firmware image 142 is missing from this updater."});
  EXPECT_EQ(rig.view.Events().back().call, ViewCall::kRestore);
}

TEST(FlashPlan, FailedStepLeavesTheRestUnsent) {
  EngineRig rig(ShortWaits());
  // The first block of image 129, the area of step 7, is refused every time.
  rig.AddFaults({"status=1,kind=write,at=0x40000,count=all"});
  rig.device.PresetFlash(0xDF000, Bytes(16, 0x55));
  EXPECT_EQ(RunFlashPlan(rig.context), -1);

  EXPECT_EQ(rig.view.Texts(ViewCall::kError), std::vector<std::string>{"Transfer error occurred."});
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep).back(), "7/10");
  EXPECT_EQ(rig.Erases().back(), (std::pair<uint32_t, uint32_t>{0x40000, 0x9F000}));
  for (const uint32_t address : rig.WriteAddresses())
    EXPECT_LT(address, 0x41000u);
  EXPECT_EQ(rig.device.CountAt(RequestKind::kWriteBlock, 0x40000), 32);
  // The version block erased in step 1 stays erased.
  EXPECT_EQ(rig.Flash(0xDF000, 16), Bytes(16, 0xFF));
}

}  // namespace
}  // namespace tarn::test
