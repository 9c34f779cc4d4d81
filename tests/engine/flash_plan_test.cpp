#include "engine/flash_plan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/engine_rig.h"

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
  for (const auto& [address, count] : EraseRequests(rig.device)) {
    if (address == 0) return true;
  }
  for (const uint32_t address : WriteAddresses(rig.device)) {
    if (address < 0x23000) return true;
  }
  return false;
}

TEST(FlashPlan, ReadsTheBootVersionFirst) {
  EngineRig rig;
  rig.context.SetVerify(false);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  const auto sent = rig.device.Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(ClassifyHostMessage(sent[0]), RequestKind::kReadFlash);
  EXPECT_EQ(sent[0].size(), 17u);
  EXPECT_EQ(RequestAddress(sent[0]), 0x22FFCu);
  EXPECT_EQ(RequestCount(sent[0]), 4u);
  // The read asked for four bytes, and without verification it is the run's only read.
  EXPECT_EQ(rig.context.ReadBack().Received().size(), 4u);
}

TEST(FlashPlan, CurrentBootAreaIsSkippedButItsStepsAreCounted) {
  EngineRig rig;
  rig.context.SetVerify(false);
  rig.device.SetFlash(0x22FFC, kVersion);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  EXPECT_FALSE(TouchesBootArea(rig));
  EXPECT_EQ(WriteAddresses(rig.device), BlockAddresses(rig.images, false));
  EXPECT_EQ(EraseRequests(rig.device),
            (std::vector<std::pair<uint32_t, uint32_t>>{
                {0xDF000, 0x1000}, {0x23000, 0x1D000}, {0x40000, 0x9F000}, {0x160000, 0x6A0000}}));
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep), PlanStepTexts());
}

TEST(FlashPlan, AnyOtherBootVersionRunsAllTenSteps) {
  for (const Bytes& flash : {Bytes{'1', '.', '0', '1'}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}}) {
    EngineRig rig;
    rig.context.SetVerify(false);
    rig.device.SetFlash(0x22FFC, flash);
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    EXPECT_EQ(EraseRequests(rig.device),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0xDF000, 0x1000},
                                                          {0x23000, 0x1D000},
                                                          {0x0, 0x23000},
                                                          {0x40000, 0x9F000},
                                                          {0x160000, 0x6A0000}}));
    EXPECT_EQ(WriteAddresses(rig.device), BlockAddresses(rig.images, true));
    EXPECT_EQ(rig.view.Texts(ViewCall::kStep), PlanStepTexts());
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  }
}

TEST(FlashPlan, ShortBootImageAlwaysRewritesTheBootArea) {
  MemoryImages images = SmallImageSet();
  images.Put(142, kVersion);
  EngineRig rig(QuickTiming(), std::move(images));
  rig.device.SetFlash(0x22FFC, kVersion);
  EXPECT_EQ(RunFlashPlan(rig.context), 0);
  EXPECT_TRUE(TouchesBootArea(rig));
}

// A status answer instead of data: only bytes that this read delivered count, so a version
// left in the buffer by an earlier read cannot skip the boot area.
TEST(FlashPlan, AnswerWithoutDataRewritesTheBootArea) {
  for (const Bytes& answer : {StatusMessage(0), DoneMessage()}) {
    EngineRig rig;
    rig.device.SetFlash(0x22FFC, kVersion);
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    ASSERT_FALSE(TouchesBootArea(rig));
    rig.device.On(RequestKind::kReadFlash,
                  [answer](const Bytes&, int32_t) { return std::vector<Reply>{{answer}}; });
    const size_t before = rig.device.Sent().size();
    EXPECT_EQ(RunFlashPlan(rig.context), 0);
    const auto erases = EraseRequests(rig.device);
    EXPECT_EQ(std::count(erases.begin(), erases.end(), std::pair<uint32_t, uint32_t>{0, 0x23000}),
              1);
    EXPECT_GT(rig.device.Sent().size(), before);
  }
}

struct BootCheckFailure {
  const char* name;
  Script script;
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const BootCheckFailure& c, std::ostream* out) {
  *out << c.name;
}

class BootCheckFails : public ::testing::TestWithParam<BootCheckFailure> {};

TEST_P(BootCheckFails, EndsThePlanWithoutABoxBeforeTheFirstStep) {
  EngineRig rig(ShortWaits());
  rig.device.On(RequestKind::kReadFlash, GetParam().script);
  EXPECT_EQ(RunFlashPlan(rig.context), -1);
  EXPECT_EQ(rig.device.SentKinds(), std::vector<RequestKind>{RequestKind::kReadFlash});
  const auto events = rig.view.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].call, ViewCall::kRestore);
}

INSTANTIATE_TEST_SUITE_P(Table, BootCheckFails,
                         ::testing::Values(BootCheckFailure{"NoAnswer", Never()},
                                           BootCheckFailure{"DeviceFailure", AlwaysStatus(3)},
                                           BootCheckFailure{"BadChecksum",
                                                            [](const Bytes&, int32_t) {
                                                              return std::vector<Reply>{
                                                                  {ReadFlashReplyMessage(kVersion,
                                                                                         1)}};
                                                            }},
                                           BootCheckFailure{"Truncated",
                                                            [](const Bytes&, int32_t) {
                                                              Bytes reply =
                                                                  ReadFlashReplyMessage(kVersion);
                                                              reply.resize(14);
                                                              reply.push_back(0xF7);
                                                              return std::vector<Reply>{{reply}};
                                                            }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlashPlan, MissingBootImageIsReportedBeforeAnythingIsSent) {
  MemoryImages images = SmallImageSet();
  images.Remove(142);
  EngineRig rig(QuickTiming(), std::move(images));
  EXPECT_EQ(RunFlashPlan(rig.context), -1);
  EXPECT_TRUE(rig.device.Sent().empty());
  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Firmware image 142 is missing from this updater."});
  EXPECT_EQ(rig.view.Events().back().call, ViewCall::kRestore);
}

TEST(FlashPlan, FailedStepLeavesTheRestUnsent) {
  EngineRig rig(ShortWaits());
  rig.device.On(RequestKind::kWriteBlock, [&rig](const Bytes& request, int32_t) {
    if (RequestAddress(request) >= 0x40000 && RequestAddress(request) < 0xDF000) {
      return std::vector<Reply>{{StatusMessage(1)}};
    }
    return rig.device.Healthy(request);
  });
  rig.device.SetFlash(0xDF000, Bytes(16, 0x55));
  EXPECT_EQ(RunFlashPlan(rig.context), -1);

  EXPECT_EQ(rig.view.Texts(ViewCall::kError), std::vector<std::string>{"Transfer error occurred."});
  EXPECT_EQ(rig.view.Texts(ViewCall::kStep).back(), "7/10");
  EXPECT_EQ(EraseRequests(rig.device).back(), (std::pair<uint32_t, uint32_t>{0x40000, 0x9F000}));
  for (const uint32_t address : WriteAddresses(rig.device))
    EXPECT_LT(address, 0x41000u);
  // The version block erased in step 1 stays erased.
  EXPECT_EQ(rig.device.Flash(0xDF000, 16), Bytes(16, 0xFF));
}

}  // namespace
}  // namespace tarn::test
