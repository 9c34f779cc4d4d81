#include "sysex/sysex_framer.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

// Every message the framer completes from `pieces`, in order.
std::vector<Bytes> Frame(SysExFramer& framer, const std::vector<Bytes>& pieces) {
  std::vector<Bytes> messages;
  for (const Bytes& piece : pieces)
    framer.Feed(piece, [&](Bytes message) { messages.push_back(std::move(message)); });
  return messages;
}

Bytes Message(size_t length, uint8_t seed) {
  Bytes message(length, 0);
  message.front() = 0xF0;
  for (size_t i = 1; i + 1 < length; ++i)
    message[i] = static_cast<uint8_t>((i * 13 + seed) & 0x7F);
  message.back() = 0xF7;
  return message;
}

TEST(SysExFramer, AMessageSplitAnywhereComesOutWholeOnce) {
  for (const size_t length : {size_t{6}, size_t{4699}}) {
    const Bytes message = Message(length, 3);
    for (size_t cut = 0; cut <= message.size(); cut += length > 100 ? 37 : 1) {
      SysExFramer framer;
      const auto out = Frame(framer, {Bytes(message.begin(), message.begin() + cut),
                                      Bytes(message.begin() + cut, message.end())});
      ASSERT_EQ(out, std::vector<Bytes>{message}) << "cut at " << cut;
      EXPECT_EQ(framer.Dropped(), 0u);
    }
  }
}

TEST(SysExFramer, RandomPiecesOfSeveralMessagesKeepTheirOrder) {
  std::mt19937 random(7);
  const std::vector<Bytes> messages{Message(7, 1), Message(16400, 2), Message(15, 3)};
  Bytes stream;
  for (const Bytes& message : messages)
    stream.insert(stream.end(), message.begin(), message.end());
  for (int round = 0; round < 20; ++round) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < stream.size();) {
      const size_t size = std::min<size_t>(1 + random() % 64, stream.size() - at);
      pieces.emplace_back(stream.begin() + at, stream.begin() + at + size);
      at += size;
    }
    SysExFramer framer;
    EXPECT_EQ(Frame(framer, pieces), messages);
  }
}

struct StreamCase {
  const char* name;
  std::vector<Bytes> pieces;
  std::vector<Bytes> expected;
  uint64_t dropped;
};

using test::PrintTo;

class SysExFramerStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(SysExFramerStream, HandsOutWholeMessagesAndCountsWhatItDrops) {
  SysExFramer framer(64);
  EXPECT_EQ(Frame(framer, GetParam().pieces), GetParam().expected);
  EXPECT_EQ(framer.Dropped(), GetParam().dropped);
}

const Bytes kShort{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7};

const Bytes kIdentityRequest{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};

const Bytes kLong = Message(80, 5);

INSTANTIATE_TEST_SUITE_P(
    Cases, SysExFramerStream,
    ::testing::Values(
        StreamCase{"OneByteAPiece",
                   {{0xF0}, {0x7E}, {0x00}, {0x06}, {0x01}, {0xF7}},
                   {kIdentityRequest},
                   0},
        StreamCase{"TwoInOnePiece",
                   {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7, 0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7}},
                   {kIdentityRequest, kShort},
                   0},
        StreamCase{"RealTimeInsideIsSkipped",
                   {{0xF0, 0x52, 0xF8, 0x00, 0x6E}, {0xFE, 0x00, 0x00, 0xF7}},
                   {kShort},
                   0},
        StreamCase{"StatusByteBreaksIt", {{0xF0, 0x52, 0x90, 0x3C, 0x40}, kShort}, {kShort}, 1},
        StreamCase{"NewStartBreaksIt", {{0xF0, 0x52, 0x00}, kShort}, {kShort}, 1},
        StreamCase{"BytesOutsideAreIgnored", {{0x90, 0x3C, 0x40, 0xF7, 0x12}, kShort}, {kShort}, 0},
        StreamCase{"ExactlyTheLimitPasses", {Message(64, 5)}, {Message(64, 5)}, 0},
        StreamCase{"OneOverTheLimitIsDropped", {Message(65, 5), kShort}, {kShort}, 1},
        StreamCase{"OversizedThenBroken", {Message(80, 5), {0xF0, 0x01, 0x90}}, {}, 2},
        StreamCase{"OversizedAcrossPieces",
                   {Bytes(kLong.begin(), kLong.begin() + 40),
                    Bytes(kLong.begin() + 40, kLong.end()), kShort},
                   {kShort},
                   1},
        StreamCase{"StatusInsideOnePiece", {{0xF0, 0x52, 0x90, 0x3C, 0xF7}, kShort}, {kShort}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NextSysExPiece, SaysWhatTheFrontOfTheStreamIs) {
  using Kind = SysExPiece::Kind;
  const struct {
    const char* what;
    bool inMessage;
    Bytes bytes;
    Kind kind;
    size_t length;
  } cases[] = {
      {"bytes outside, up to the next start",
       false,
       {0x90, 0x3C, 0x40, 0xF0, 0x01},
       Kind::kOutside,
       3},
      {"bytes outside to the end, an end among them", false, {0xF8, 0x12, 0xF7}, Kind::kOutside, 3},
      {"a start", false, {0xF0, 0x01, 0xF7}, Kind::kStart, 1},
      {"data up to the next status byte", true, {0x01, 0x02, 0x03, 0xF8, 0x04}, Kind::kBody, 3},
      {"data to the end", true, {0x05, 0x06}, Kind::kBody, 2},
      {"clock inside", true, {0xF8, 0x01}, Kind::kRealTime, 1},
      {"active sensing inside", true, {0xFE}, Kind::kRealTime, 1},
      {"reset inside", true, {0xFF, 0xF7}, Kind::kRealTime, 1},
      {"the end", true, {0xF7, 0xF0}, Kind::kEnd, 1},
      {"a new start breaks it", true, {0xF0, 0x01}, Kind::kBreak, 0},
      {"a note breaks it", true, {0x90, 0x3C, 0x40}, Kind::kBreak, 0},
      {"a tune request breaks it", true, {0xF6}, Kind::kBreak, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SysExPiece piece = NextSysExPiece(c.inMessage, c.bytes);
    EXPECT_EQ(piece.kind, c.kind);
    EXPECT_EQ(piece.length, c.length);
  }
}

TEST(SysExFramer, AbandonDropsOnlyAMessageInProgress) {
  SysExFramer framer;
  framer.Abandon();
  EXPECT_EQ(framer.Dropped(), 0u);
  EXPECT_TRUE(Frame(framer, {{0xF0, 0x52, 0x00}}).empty());
  EXPECT_TRUE(framer.InMessage());
  framer.Abandon();
  EXPECT_FALSE(framer.InMessage());
  EXPECT_EQ(framer.Dropped(), 1u);
  // The rest of the abandoned message is no message at all.
  EXPECT_TRUE(Frame(framer, {{0x6E, 0x00, 0xF7}}).empty());
  EXPECT_EQ(Frame(framer, {kShort}), std::vector<Bytes>{kShort});
}

// What the platform returns broken counts once, whether or not its start was seen, and leaves
// nothing behind that a later piece could complete.
TEST(SysExFramer, RejectCountsOneBrokenMessage) {
  SysExFramer framer;
  framer.Reject();
  EXPECT_EQ(framer.Dropped(), 1u);
  EXPECT_TRUE(Frame(framer, {{0xF0, 0x52, 0x00}}).empty());
  framer.Reject();
  EXPECT_FALSE(framer.InMessage());
  EXPECT_EQ(framer.Dropped(), 2u);
  EXPECT_TRUE(Frame(framer, {{0x6E, 0x00, 0xF7}}).empty());
  EXPECT_EQ(Frame(framer, {kShort}), std::vector<Bytes>{kShort});
}

}  // namespace
}  // namespace tarn
