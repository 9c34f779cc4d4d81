#include "engine/transfer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string_view>
#include <vector>

#include "resources/string_table.h"
#include "sysex/codec.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kArea = 0x40000;
constexpr int32_t kImage = 129;  // 9000 bytes: blocks of 4096, 4096 and 808

// A case's fault rules, in their command-line form.
template <typename... Rule>
std::vector<std::string_view> Rules(Rule... rules) {
  return {rules...};
}

void ExpectFailedWith(const EngineRig& rig, const std::string& text) {
  EXPECT_EQ(rig.view.Texts(ViewCall::kError), std::vector<std::string>{text});
  const auto events = rig.view.Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2].call, ViewCall::kError);
  EXPECT_EQ(events.back().call, ViewCall::kRestore);
}

struct EraseCase {
  const char* name;
  std::vector<std::string_view> faults;
  int32_t result;
  const char* text;  // nullptr: no box
  int32_t requests;
};

using test::PrintTo;

class EraseAreaTable : public ::testing::TestWithParam<EraseCase> {};

TEST_P(EraseAreaTable, RetriesRefusalsButNotTimeOuts) {
  const EraseCase& c = GetParam();
  EngineRig rig(ShortWaits());
  rig.AddFaults(c.faults);
  EXPECT_EQ(EraseArea(rig.context, kArea, 0x9F000), c.result);

  EXPECT_EQ(rig.Erases(),
            (std::vector<std::pair<uint32_t, uint32_t>>(c.requests, {kArea, 0x9F000})));
  EXPECT_EQ(rig.device.Count(RequestKind::kEraseFlash),
            static_cast<int32_t>(rig.device.Received().size()));
  if (c.text) {
    ExpectFailedWith(rig, c.text);
  } else {
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
    EXPECT_EQ(rig.view.Count(ViewCall::kRestore), 0);
  }
  // Range first; position 1 and the erase text on every attempt; 10 once it is done.
  const auto ranges = rig.view.Of(ViewCall::kRange);
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].first, 0);
  EXPECT_EQ(ranges[0].second, 10);
  EXPECT_EQ(rig.view.Events().front().call, ViewCall::kRange);
  std::vector<int32_t> positions;
  for (const auto& event : rig.view.Of(ViewCall::kPosition))
    positions.push_back(event.first);
  std::vector<int32_t> expected(c.requests, 1);
  if (c.result == 0) expected.push_back(10);
  EXPECT_EQ(positions, expected);
  EXPECT_EQ(rig.view.Texts(ViewCall::kStatus),
            std::vector<std::string>(c.requests, "Erasing Flash memory."));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EraseAreaTable,
    ::testing::Values(
        EraseCase{"AcceptedAtOnce", {}, 0, nullptr, 1},
        EraseCase{"AcceptedAtTheSeventhRequest", Rules("status=1,kind=erase,count=6"), 0, nullptr,
                  7},
        EraseCase{"RefusedSevenTimes", Rules("status=1,kind=erase,count=all"), -1,
                  "Transfer error occurred.", 7},
        EraseCase{"NotInUpdateModeCountsAsRefusal", Rules("status=11,kind=erase,count=all"), -1,
                  "Transfer error occurred.", 7},
        EraseCase{"NeverAnswered", Rules("ignore,kind=erase,count=all"), -1, "Time out error(3)",
                  1},
        EraseCase{"TimeOutAfterRefusals",
                  Rules("status=1,kind=erase,count=3", "ignore,kind=erase,skip=3,count=all"), -1,
                  "Time out error(3)", 4}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlockCase {
  const char* name;
  std::vector<std::string_view> faults;
  int32_t result;
  const char* text;
  std::vector<uint32_t> addresses;  // of every WriteBlock sent
};

std::vector<uint32_t> Repeat(uint32_t address, int32_t count) {
  return std::vector<uint32_t>(static_cast<size_t>(count), address);
}

std::vector<uint32_t> Join(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

class TransmitImageTable : public ::testing::TestWithParam<BlockCase> {};

TEST_P(TransmitImageTable, SharesOneFailureCountBetweenTimeOutsAndRefusals) {
  const BlockCase& c = GetParam();
  EngineRig rig(ShortWaits());
  rig.AddFaults(c.faults);
  EXPECT_EQ(TransmitImage(rig.context, kArea, 0, kImage), c.result);
  EXPECT_EQ(rig.WriteAddresses(), c.addresses);
  // Every request beyond the first for its block was sent again.
  const std::set<uint32_t> blocks(c.addresses.begin(), c.addresses.end());
  EXPECT_EQ(rig.context.ThisRun().blocksResent,
            static_cast<int32_t>(c.addresses.size() - blocks.size()));
  if (c.text) {
    ExpectFailedWith(rig, c.text);
  } else {
    EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
    EXPECT_EQ(rig.Flash(kArea, 9000), rig.images.Image(kImage));
  }
  // The status text is rewritten for every attempt, with the offset before the block.
  std::vector<std::string> texts;
  for (const uint32_t address : rig.WriteAddresses())
    texts.push_back(FormatString(ids::kDataTransmit, static_cast<int32_t>(address - kArea), 9000));
  EXPECT_EQ(rig.view.Texts(ViewCall::kStatus), texts);
}

const uint32_t kBlock1 = kArea + 4096;
const uint32_t kBlock2 = kArea + 8192;

INSTANTIATE_TEST_SUITE_P(
    Table, TransmitImageTable,
    ::testing::Values(
        BlockCase{"Accepted", {}, 0, nullptr, {kArea, kBlock1, kBlock2}},
        BlockCase{"AlwaysRefused", Rules("status=1,kind=write,count=all"), -1,
                  "Transfer error occurred.", Repeat(kArea, 32)},
        BlockCase{"NeverAnswered", Rules("ignore,kind=write,count=all"), -1, "Time out error(2)",
                  Repeat(kArea, 32)},
        BlockCase{"LastFailureATimeOut",
                  Rules("status=1,kind=write,count=31", "ignore,kind=write,skip=31,count=all"), -1,
                  "Time out error(2)", Repeat(kArea, 32)},
        BlockCase{"LastFailureARefusal",
                  Rules("ignore,kind=write,count=31", "status=7,kind=write,skip=31,count=all"), -1,
                  "Transfer error occurred.", Repeat(kArea, 32)},
        // Refusals, time-outs and refusals again: 31 failures in all.
        BlockCase{"ThirtyOneFailuresThenAccepted",
                  Rules("status=1,kind=write,count=10", "ignore,kind=write,skip=10,count=11",
                        "status=1,kind=write,skip=21,count=10"),
                  0, nullptr, Join({Repeat(kArea, 32), {kBlock1, kBlock2}})},
        // An accepted block resets the count: 1 + 31 failures in a row would have ended it
        // (0x41000 is kBlock1).
        BlockCase{"AcceptedBlockResetsTheCount",
                  Rules("ignore,kind=write,count=1", "ignore,kind=write,at=0x41000,count=10",
                        "status=1,kind=write,at=0x41000,skip=10,count=11",
                        "ignore,kind=write,at=0x41000,skip=21,count=10"),
                  0, nullptr, Join({{kArea, kArea}, Repeat(kBlock1, 32), {kBlock2}})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TransmitImage, BlocksCarryTheImageInOrderWithProgress) {
  EngineRig rig;
  EXPECT_EQ(TransmitImage(rig.context, kArea, 0, kImage), 0);
  const auto writes = rig.Requests(RequestKind::kWriteBlock);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].count, 4096u);
  EXPECT_EQ(writes[2].count, 808u);
  EXPECT_EQ(writes[0].bytes->size(), 4700u);
  EXPECT_EQ(writes[2].bytes->size(), static_cast<size_t>(PackedLength(808) + 18));
  for (const auto& write : writes)
    EXPECT_EQ((*write.bytes)[3], rig.context.ModelByte());

  const auto ranges = rig.view.Of(ViewCall::kRange);
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].second, 9000);
  std::vector<int32_t> positions;
  for (const auto& event : rig.view.Of(ViewCall::kPosition))
    positions.push_back(event.first);
  EXPECT_EQ(positions, (std::vector<int32_t>{4096, 8192, 9000}));
  // Not rewritten after the last block: it still shows the offset of that block.
  EXPECT_EQ(rig.view.Texts(ViewCall::kStatus).back(), "Data transmit  8192 / 9000 ");
}

TEST(TransmitImage, FullSizeImagesSplitIntoFullBlocksAndOneRest) {
  const struct {
    size_t size;
    size_t fullBlocks;
    uint32_t rest;
    const char* lastText;
  } cases[] = {
      {118784, 29, 0, "Data transmit  114688 / 118784 "},
      {501408, 122, 1696, "Data transmit  499712 / 501408 "},
  };
  for (const auto& c : cases) {
    MemoryImages images;
    images.Put(kImage, Bytes(c.size, 0));
    EngineRig rig(QuickTiming(), std::move(images));
    EXPECT_EQ(TransmitImage(rig.context, kArea, 0, kImage), 0);
    const auto writes = rig.Requests(RequestKind::kWriteBlock);
    ASSERT_EQ(writes.size(), c.fullBlocks + (c.rest ? 1 : 0));
    for (size_t i = 0; i < c.fullBlocks; ++i) {
      EXPECT_EQ(writes[i].count, 4096u);
      EXPECT_EQ(writes[i].address, kArea + i * 4096);
    }
    if (c.rest) {
      EXPECT_EQ(writes.back().count, c.rest);
    }
    EXPECT_EQ(rig.view.Texts(ViewCall::kStatus).back(), c.lastText);
    EXPECT_EQ(rig.view.Of(ViewCall::kPosition).back().first, static_cast<int32_t>(c.size));
  }
}

TEST(TransmitImage, SizeLimitsTheTransferButNeverReadsPastTheImage) {
  const struct {
    uint32_t size;
    size_t written;
  } cases[] = {{5000, 5000}, {9000, 9000}, {0x6A0000, 9000}};
  for (const auto& c : cases) {
    EngineRig rig;
    EXPECT_EQ(TransmitImage(rig.context, kArea, c.size, kImage), 0);
    EXPECT_EQ(rig.view.Of(ViewCall::kRange)[0].second, static_cast<int32_t>(c.written));
    const Bytes& image = rig.images.Image(kImage);
    EXPECT_EQ(rig.Flash(kArea, c.written), Bytes(image.begin(), image.begin() + c.written));
    EXPECT_EQ(rig.Flash(kArea + c.written, 1), Bytes{0xFF});
  }
}

TEST(TransmitImage, MissingImageIsReportedAndNothingIsSent) {
  EngineRig rig;
  EXPECT_EQ(TransmitImage(rig.context, kArea, 0, 77), -1);
  ExpectFailedWith(rig, "Firmware image 77 is missing from this updater.");
  EXPECT_TRUE(rig.device.Received().empty());
}

// A block whose answer comes only after its wait has ended confirms its resend; the resend's
// own answer, a refusal, must not be taken for the block sent next.
TEST(TransmitImage, LateAnswerConfirmsTheResendAndTheResendsAnswerIsDropped) {
  EngineRig rig(Timing{2s, 2s, 2s, 40ms, 200ms, 2ms, 1s});
  rig.AddFaults({
      "delay=100,kind=write",        // after the wait, during the pause
      "status=1,kind=write,skip=1",  // the resend refused,
      "delay=10,kind=write,skip=1",  //   a little later
      "delay=30,kind=write,skip=2",  // the next block: after the refusal, if waited for
  });
  EXPECT_EQ(TransmitImage(rig.context, kArea, 0, kImage), 0);
  EXPECT_EQ(rig.WriteAddresses(), (std::vector<uint32_t>{kArea, kArea, kBlock1, kBlock2}));
  EXPECT_EQ(rig.Flash(kArea, 9000), rig.images.Image(kImage));
  EXPECT_EQ(rig.view.Count(ViewCall::kError), 0);
  EXPECT_EQ(rig.context.Answers().Owed(), 0);
  for (int32_t rule = 0; rule < 4; ++rule)
    EXPECT_EQ(rig.device.FaultHits(rule), 1) << rule;
}

}  // namespace
}  // namespace tarn::test
