#include "engine/update_sequence.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "resources/string_table.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

TEST(UpdateSequence, HealthyDeviceIsIdentifiedErasedWrittenAndFinished) {
  for (const Identity identity : AcceptedIdentities) {
    sim::DeviceConfig config;
    config.device.identity = identity;
    EngineRig rig(QuickTiming(), SmallImageSet(), config);
    // The plan's own steps, without the read-back of each area (see verification_test).
    rig.context.SetVerify(false);
    rig.RunUpdate();

    const auto kinds = rig.Kinds();
    ASSERT_GE(kinds.size(), 4u);
    EXPECT_EQ(kinds[0], RequestKind::kIdentityRequest);
    EXPECT_EQ(kinds[1], RequestKind::kBeginUpdate);
    EXPECT_EQ(kinds[2], RequestKind::kReadFlash);
    EXPECT_EQ(kinds.back(), RequestKind::kFinishUpdate);
    for (const sim::ReceivedMessage& request : rig.device.Received()) {
      if ((*request.bytes)[1] == kManufacturerId) {
        EXPECT_EQ((*request.bytes)[3], identity[0]);
      }
    }
    EXPECT_TRUE(rig.FlashHoldsTheImages());
    EXPECT_EQ(rig.view.Texts(ViewCall::kStep), StepTexts(10));
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
    EXPECT_EQ(rig.context.AcceptedIdentity(), identity);
    // Begin shows the erase text until its answer comes.
    const auto status = rig.view.Texts(ViewCall::kStatus);
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[0], "Erasing Flash memory.");
    EXPECT_EQ(status[1], "");

    const auto events = rig.view.Events();
    ASSERT_GE(events.size(), 3u);
    const auto tail = std::vector<ViewEvent>(events.end() - 3, events.end());
    EXPECT_EQ(tail[0].call, ViewCall::kStatus);
    EXPECT_EQ(tail[0].text, "Version update completed.");
    EXPECT_EQ(tail[1].call, ViewCall::kRestore);
    EXPECT_EQ(tail[2].call, ViewCall::kEnableExecute);
    EXPECT_EQ(tail[2].first, 0);
    ASSERT_TRUE(rig.outcome.has_value());
    EXPECT_EQ(rig.outcome->kind, OutcomeKind::kCompleted);
    EXPECT_EQ(rig.outcome->blocksResent, 0);
  }
}

// The device's own identity, one of another kind of the same model, one of another model.
constexpr Identity kTarn = sim::DeviceIdentitySettings{}.identity;
constexpr Identity kOtherKind{0x6E, 0x00, 0x02, 0x00};
constexpr Identity kOtherModel{0x6F, 0x00, 0x04, 0x00};

struct FailureCase {
  const char* name;
  const char* fault;  // a fault rule, or nullptr
  const char* text;
  RequestKind lastRequest;  // nothing is sent after it
  int32_t requests;         // how many messages the device received in all, -1 = not checked
  Identity identity = kTarn;
  SendResult send = SendResult::kSent;  // a send that fails never reaches the device
};

using test::PrintTo;

class UpdateFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailure, IsReportedOnceAndGivesTheControlsBack) {
  const FailureCase& c = GetParam();
  sim::DeviceConfig config;
  config.device.identity = c.identity;
  EngineRig rig(ShortWaits(), SmallImageSet(), config);
  if (c.fault) rig.AddFaults({c.fault});
  rig.SetSendResult(c.send);
  rig.RunUpdate();

  EXPECT_EQ(rig.view.Texts(ViewCall::kError), std::vector<std::string>{c.text});
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kFailed);
  EXPECT_EQ(FormatText(rig.outcome->failure), c.text);
  const auto events = rig.view.Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2].call, ViewCall::kError);
  EXPECT_EQ(events.back().call, ViewCall::kRestore);
  EXPECT_EQ(rig.view.Count(ViewCall::kEnableExecute), 0);
  const auto kinds = rig.Kinds();
  if (c.requests >= 0) {
    EXPECT_EQ(static_cast<int32_t>(kinds.size()), c.requests);
  }
  if (c.requests != 0) {
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(kinds.back(), c.lastRequest);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateFailure,
    ::testing::Values(FailureCase{"IdentityNotSent", nullptr, "Can't open MIDI Out device.",
                                  RequestKind::kIdentityRequest, 0, kTarn, SendResult::kFailed},
                      FailureCase{"IdentityNotAnswered", "ignore,kind=identity,count=all",
                                  "Time out error(1)", RequestKind::kIdentityRequest, 1},
                      FailureCase{"IdentityAnsweredWithFailure", "status=3,kind=identity,count=all",
                                  "Illegal device connected.", RequestKind::kIdentityRequest, 1},
                      FailureCase{"IdentityNotAccepted", nullptr, "Illegal device connected.",
                                  RequestKind::kIdentityRequest, 1, kOtherKind},
                      FailureCase{"OtherModelNotAccepted", nullptr, "Illegal device connected.",
                                  RequestKind::kIdentityRequest, 1, kOtherModel},
                      FailureCase{"BeginNotAnswered", "ignore,kind=begin,count=all",
                                  "Time out error(1)", RequestKind::kBeginUpdate, 2},
                      FailureCase{"BeginOutsideUpdateMode", "status=11,kind=begin,count=all",
                                  "Please use the firmware update mode.", RequestKind::kBeginUpdate,
                                  2},
                      FailureCase{"BeginRefused", "status=3,kind=begin,count=all",
                                  "Transfer error occurred.", RequestKind::kBeginUpdate, 2},
                      // The first erase of the plan, refused each time it is sent.
                      FailureCase{"FirstEraseRefused", "status=2,kind=erase,count=all",
                                  "Transfer error occurred.", RequestKind::kEraseFlash, 10},
                      FailureCase{"FinishNotAnswered", "ignore,kind=finish,count=all",
                                  "Transfer error occurred.", RequestKind::kFinishUpdate, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateSequence, FailedBootReadEndsWithoutATextAndWithoutFinishing) {
  EngineRig rig(ShortWaits());
  rig.AddFaults({"ignore,kind=read,count=all"});
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kEndedWithoutText);
  EXPECT_EQ(rig.outcome->failure, TextRef{});
  EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
}

TEST(UpdateSequence, AnyAnswerToFinishCountsAsSuccess) {
  for (const std::string_view answer :
       {"status=5,kind=finish", "status=11,kind=finish", "done,kind=finish"}) {
    EngineRig rig;
    rig.AddFaults({answer});
    rig.RunUpdate();
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
    EXPECT_EQ(rig.view.Texts(ViewCall::kStatus).back(), "Version update completed.");
    EXPECT_EQ(rig.view.Count(ViewCall::kEnableExecute), 1);
  }
}

TEST(UpdateSequence, RefusedDeviceStillGivesItsModelByteToLaterReplies) {
  sim::DeviceConfig config;
  config.device.identity = kOtherKind;
  EngineRig rig(QuickTiming(), SmallImageSet(), config);
  rig.RunUpdate();
  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Illegal device connected."});
  EXPECT_EQ(rig.context.AcceptedIdentity(), (Identity{0, 0, 0, 0}));

  rig.queue.Push(MakerMessage(0x01));
  ASSERT_TRUE(rig.AwaitRequests(RequestKind::kHostStatus));
  EXPECT_EQ(*rig.Requests(RequestKind::kHostStatus)[0].bytes,
            (Bytes{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7}));
}

TEST(UpdateSequence, MissingImageEndsTheUpdateWithItsOwnText) {
  MemoryImages images = SmallImageSet();
  images.Remove(129);
  EngineRig rig(QuickTiming(), std::move(images));
  rig.RunUpdate();
  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{FormatString(ids::kImageMissing, 129)});
  EXPECT_EQ(rig.view.Events().back().call, ViewCall::kRestore);
  EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
  for (const uint32_t address : rig.WriteAddresses())
    EXPECT_NE(address, 0x40000u);
  // Step 6 erased the area the image would have gone to; nothing later was touched.
  EXPECT_EQ(rig.Erases().back(), (std::pair<uint32_t, uint32_t>{0x40000, 0x9F000}));
}

}  // namespace
}  // namespace tarn::test
