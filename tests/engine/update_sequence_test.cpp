#include "engine/update_sequence.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/flash_plan.h"
#include "resources/string_table.h"
#include "tests/support/engine_rig.h"

namespace tarn::test {
namespace {

std::vector<std::string> AllStepTexts() {
  std::vector<std::string> texts;
  for (int step = 0; step <= 10; ++step)
    texts.push_back(std::to_string(step) + "/10");
  return texts;
}

void ExpectImagesInFlash(const EngineRig& rig) {
  for (const PlanStep& step : FlashPlan) {
    if (step.mode != PlanMode::kWrite) continue;
    const Bytes& image = rig.images.Image(step.imageId);
    EXPECT_EQ(rig.device.Flash(step.address, image.size()), image) << step.imageId;
  }
}

TEST(UpdateSequence, HealthyDeviceIsIdentifiedErasedWrittenAndFinished) {
  for (const Identity identity : AcceptedIdentities) {
    EngineRig rig;
    // The plan's own steps, without the read-back of each area (see verification_test).
    rig.context.SetVerify(false);
    rig.device.On(RequestKind::kIdentityRequest, [identity](const Bytes&, int32_t) {
      return std::vector<Reply>{{DeviceIdentityMessage(identity)}};
    });
    rig.RunUpdate();

    const auto kinds = rig.device.SentKinds();
    ASSERT_GE(kinds.size(), 4u);
    EXPECT_EQ(kinds[0], RequestKind::kIdentityRequest);
    EXPECT_EQ(kinds[1], RequestKind::kBeginUpdate);
    EXPECT_EQ(kinds[2], RequestKind::kReadFlash);
    EXPECT_EQ(kinds.back(), RequestKind::kFinishUpdate);
    for (const Bytes& request : rig.device.Sent()) {
      if (request[1] == 0x52) {
        EXPECT_EQ(request[3], identity[0]);
      }
    }
    ExpectImagesInFlash(rig);
    EXPECT_EQ(rig.view.Texts(ViewCall::kStep), AllStepTexts());
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

struct FailureCase {
  const char* name;
  std::function<void(FakeDevice&)> script;
  const char* text;
  RequestKind lastRequest;  // nothing is sent after it
  int32_t requests;         // how many messages the host sent in all, 0 = not checked
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class UpdateFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailure, IsReportedOnceAndGivesTheControlsBack) {
  const FailureCase& c = GetParam();
  EngineRig rig(ShortWaits());
  c.script(rig.device);
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
  const auto kinds = rig.device.SentKinds();
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.back(), c.lastRequest);
  if (c.requests > 0) {
    EXPECT_EQ(static_cast<int32_t>(kinds.size()), c.requests);
  }
}

Script IdentityOf(Identity identity) {
  return [identity](const Bytes&, int32_t) {
    return std::vector<Reply>{{DeviceIdentityMessage(identity)}};
  };
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateFailure,
    ::testing::Values(
        FailureCase{"IdentityNotSent", [](FakeDevice& d) { d.SetSendResult(SendResult::kFailed); },
                    "Can't open MIDI Out device.", RequestKind::kIdentityRequest, 1},
        FailureCase{"IdentityNotAnswered",
                    [](FakeDevice& d) { d.On(RequestKind::kIdentityRequest, Never()); },
                    "Time out error(1)", RequestKind::kIdentityRequest, 1},
        FailureCase{"IdentityAnsweredWithFailure",
                    [](FakeDevice& d) { d.On(RequestKind::kIdentityRequest, AlwaysStatus(3)); },
                    "Illegal device connected.", RequestKind::kIdentityRequest, 1},
        FailureCase{"IdentityNotAccepted",
                    [](FakeDevice& d) {
                      d.On(RequestKind::kIdentityRequest, IdentityOf({0x6E, 0, 2, 0}));
                    },
                    "Illegal device connected.", RequestKind::kIdentityRequest, 1},
        FailureCase{"OtherModelNotAccepted",
                    [](FakeDevice& d) {
                      d.On(RequestKind::kIdentityRequest, IdentityOf({0x6F, 0, 4, 0}));
                    },
                    "Illegal device connected.", RequestKind::kIdentityRequest, 1},
        FailureCase{"BeginNotAnswered",
                    [](FakeDevice& d) { d.On(RequestKind::kBeginUpdate, Never()); },
                    "Time out error(1)", RequestKind::kBeginUpdate, 2},
        FailureCase{"BeginOutsideUpdateMode",
                    [](FakeDevice& d) { d.On(RequestKind::kBeginUpdate, AlwaysStatus(11)); },
                    "Please use the firmware update mode.", RequestKind::kBeginUpdate, 2},
        FailureCase{"BeginRefused",
                    [](FakeDevice& d) { d.On(RequestKind::kBeginUpdate, AlwaysStatus(3)); },
                    "Transfer error occurred.", RequestKind::kBeginUpdate, 2},
        FailureCase{"FinishNotAnswered",
                    [](FakeDevice& d) { d.On(RequestKind::kFinishUpdate, Never()); },
                    "Transfer error occurred.", RequestKind::kFinishUpdate, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateSequence, FailedBootReadEndsWithoutATextAndWithoutFinishing) {
  EngineRig rig(ShortWaits());
  rig.device.On(RequestKind::kReadFlash, Never());
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kEndedWithoutText);
  EXPECT_EQ(rig.outcome->failure, TextRef{});
  EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
}

TEST(UpdateSequence, AnyAnswerToFinishCountsAsSuccess) {
  for (const Bytes& answer : {StatusMessage(5), StatusMessage(11), DoneMessage()}) {
    EngineRig rig;
    rig.device.On(RequestKind::kFinishUpdate,
                  [answer](const Bytes&, int32_t) { return std::vector<Reply>{{answer}}; });
    rig.RunUpdate();
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
    EXPECT_EQ(rig.view.Texts(ViewCall::kStatus).back(), "Version update completed.");
    EXPECT_EQ(rig.view.Count(ViewCall::kEnableExecute), 1);
  }
}

TEST(UpdateSequence, RefusedDeviceStillGivesItsModelByteToLaterReplies) {
  EngineRig rig;
  rig.device.On(RequestKind::kIdentityRequest, IdentityOf({0x6E, 0x00, 0x02, 0x00}));
  rig.RunUpdate();
  EXPECT_EQ(rig.view.Texts(ViewCall::kError),
            std::vector<std::string>{"Illegal device connected."});
  EXPECT_EQ(rig.context.AcceptedIdentity(), (Identity{0, 0, 0, 0}));

  rig.queue.Push(MakerMessage(0x01));
  ASSERT_TRUE(rig.AwaitRequests(RequestKind::kHostStatus));
  EXPECT_EQ(rig.device.Sent(RequestKind::kHostStatus)[0],
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
  for (const uint32_t address : WriteAddresses(rig.device))
    EXPECT_NE(address, 0x40000u);
  // Step 6 erased the area the image would have gone to; nothing later was touched.
  EXPECT_EQ(EraseRequests(rig.device).back(), (std::pair<uint32_t, uint32_t>{0x40000, 0x9F000}));
}

}  // namespace
}  // namespace tarn::test
