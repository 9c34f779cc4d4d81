#include "sysex/messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "sysex/codec.h"
#include "tests/support/host_messages.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardCount = 16;

using test::Built;

struct FixedCase {
  std::string name;
  std::function<int32_t(uint8_t*)> build;
  Bytes expected;
  int32_t declaredLength = 0;  // the header's length for this message, where it has one
};

TEST(Builders, FixedAndNumericMessagesByteForByte) {
  const FixedCase cases[] = {
      {"IdentityRequest",
       [](uint8_t* d) { return IdentityRequest(d); },
       {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7},
       kIdentityRequestLength},
      {"IdentityReply before any identity",
       [](uint8_t* d) { return IdentityReply(d, {}); },
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x00, 0x00, 0x00, 0x00, 0x31, 0x30, 0x30, 0x30, 0xF7}},
      {"IdentityReply",
       [](uint8_t* d) {
         return IdentityReply(d, {0x6E, 0x00, 0x04, 0x00});
       },
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, 0x31, 0x30, 0x30, 0x30, 0xF7},
       kIdentityReplyLength},
      {"BeginUpdate",
       [](uint8_t* d) { return BeginUpdate(d, 0x6E); },
       {0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7},
       kBeginUpdateLength},
      {"BeginUpdate before identity",
       [](uint8_t* d) { return BeginUpdate(d, 0x00); },
       {0xF0, 0x52, 0x00, 0x00, 0x01, 0xF7}},
      {"FinishUpdate",
       [](uint8_t* d) { return FinishUpdate(d, 0x6E); },
       {0xF0, 0x52, 0x00, 0x6E, 0x04, 0xF7},
       kFinishUpdateLength},
      {"HostStatus accept",
       [](uint8_t* d) { return HostStatus(d, 0x6E, kHostAccept); },
       {0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7},
       kHostStatusLength},
      {"HostStatus reject",
       [](uint8_t* d) { return HostStatus(d, 0x6E, kHostReject); },
       {0xF0, 0x52, 0x00, 0x6E, 0x00, 0x01, 0xF7}},
      {"EraseFlash",
       [](uint8_t* d) { return EraseFlash(d, 0x6E, 0x12345678, 0x00010000); },
       {0xF0, 0x52, 0x00, 0x6E, 0x0A, 0x78, 0x2C, 0x51, 0x11, 0x01, 0x00, 0x00, 0x04, 0x00, 0x00,
        0xF7},
       kEraseFlashLength},
      {"EraseFlash extremes",
       [](uint8_t* d) { return EraseFlash(d, 0x6E, 0xFFFFFFFF, 0); },
       {0xF0, 0x52, 0x00, 0x6E, 0x0A, 0x7F, 0x7F, 0x7F, 0x7F, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00,
        0xF7}},
      {"ReadFlash",
       [](uint8_t* d) { return ReadFlash(d, 0x6E, 0x00012345, 4); },
       {0xF0, 0x52, 0x00, 0x6E, 0x60, 0x30, 0x45, 0x46, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
        0x00, 0xF7},
       kReadFlashLength},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Built(c.expected.size(), c.build), c.expected) << c.name;
    if (c.declaredLength != 0) {
      EXPECT_EQ(static_cast<size_t>(c.declaredLength), c.expected.size()) << c.name;
    }
  }
}

// The model byte is whatever the device reported as its identity; a byte with bit 7 set in the
// middle of a message would end it early on the wire.
TEST(Builders, NeverSendBit7BetweenStartAndEnd) {
  const FixedCase cases[] = {
      {"HostStatus",
       [](uint8_t* d) { return HostStatus(d, 0x96, 0x81); },
       {0xF0, 0x52, 0x00, 0x16, 0x00, 0x01, 0xF7}},
      {"IdentityReply",
       [](uint8_t* d) {
         return IdentityReply(d, {0xEE, 0x80, 0x7F, 0xFF});
       },
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x7F, 0x7F, 0x31, 0x30, 0x30, 0x30, 0xF7}},
      {"BeginUpdate",
       [](uint8_t* d) { return BeginUpdate(d, 0xEE); },
       {0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7}},
      {"FinishUpdate",
       [](uint8_t* d) { return FinishUpdate(d, 0xF7); },
       {0xF0, 0x52, 0x00, 0x77, 0x04, 0xF7}},
      {"EraseFlash",
       [](uint8_t* d) { return EraseFlash(d, 0xF0, 0, 0); },
       {0xF0, 0x52, 0x00, 0x70, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}},
      {"ReadFlash",
       [](uint8_t* d) { return ReadFlash(d, 0x80, 0, 0); },
       {0xF0, 0x52, 0x00, 0x00, 0x60, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}},
      {"WriteBlock",
       [](uint8_t* d) { return WriteBlock(d, 0xEE, 0, nullptr, 0); },
       {0xF0, 0x52, 0x00, 0x6E, 0x02, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0x0F, 0xF7}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Built(c.expected.size(), c.build), c.expected) << c.name;
  }
}

Bytes BuildWriteBlock(uint8_t model, uint32_t address, const Bytes& raw) {
  const auto length = static_cast<int32_t>(raw.size());
  return Built(static_cast<size_t>(WriteBlockLength(length)),
               [&](uint8_t* d) { return WriteBlock(d, model, address, raw.data(), length); });
}

TEST(WriteBlock, ShortBlocksByteForByte) {
  const struct {
    std::string name;
    uint32_t address;
    Bytes raw;
    Bytes expected;
  } cases[] = {
      {"abc", 0, {0x61, 0x62, 0x63}, {0xF0, 0x52, 0x00, 0x6E, 0x02, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x03, 0x00, 0x00, 0x61, 0x62, 0x63,  // packed
                                      0x3D, 0x7C, 0x6E, 0x56, 0x0C,                    // crc5
                                      0xF7}},
      {"final block of 4 bytes",
       0x000FF000,
       {0x01, 0x82, 0x03, 0x84},
       {0xF0, 0x52, 0x00, 0x6E, 0x02, 0x00, 0x60, 0x3F, 0x00,
        0x00, 0x04, 0x00, 0x28, 0x01, 0x02, 0x03, 0x04,  // packed
        0x12, 0x39, 0x3A, 0x2A, 0x04,                    // crc5 of 0x454E9C92
        0xF7}},
      {"empty block",
       0x7F000,
       {},
       {0xF0, 0x52, 0x00, 0x6E, 0x02, 0x00, 0x60, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x7F, 0x7F,
        0x7F, 0x0F,  // crc5 of nothing
        0xF7}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildWriteBlock(0x6E, c.address, c.raw), c.expected) << c.name;
  }
  EXPECT_EQ(WriteBlockLength(4), 23);
}

TEST(WriteBlock, FullBlockLayout) {
  Bytes raw(4096);
  std::iota(raw.begin(), raw.end(), uint8_t{0});
  const Bytes message = BuildWriteBlock(0x6E, 0x00123000, raw);
  ASSERT_EQ(message.size(), 4700u);
  // The longest message there is.
  EXPECT_EQ(static_cast<size_t>(kMaxMessageLength), message.size());
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 12),
            (Bytes{0xF0, 0x52, 0x00, 0x6E, 0x02, 0x00, 0x60, 0x48, 0x00, 0x00, 0x00, 0x20}));
  // First group: bytes 00..06 have bit 7 clear.
  EXPECT_EQ(Bytes(message.begin() + 12, message.begin() + 20),
            (Bytes{0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}));
  // Group 18 covers raw 126..132 = 7E 7F 80 81 82 83 84: the last five carry bit 7.
  EXPECT_EQ(Bytes(message.begin() + 12 + 8 * 18, message.begin() + 12 + 8 * 19),
            (Bytes{0x1F, 0x7E, 0x7F, 0x00, 0x01, 0x02, 0x03, 0x04}));
  // crc5 of 0x5D6EDF7D.
  EXPECT_EQ(Bytes(message.begin() + 4694, message.begin() + 4699),
            (Bytes{0x7D, 0x3E, 0x3B, 0x6B, 0x05}));
  EXPECT_EQ(message[4699], 0xF7);
  for (size_t i = 1; i + 1 < message.size(); ++i)
    ASSERT_LT(message[i], 0x80) << i;
  Bytes unpacked(4096);
  EXPECT_EQ(Unpack7(unpacked.data(), message.data() + 12, 4682), 4096);
  EXPECT_EQ(unpacked, raw);
}

TEST(WriteBlock, LengthIsWrittenAsTwoSevenBitGroups) {
  const struct {
    int32_t length;
    uint8_t low;
    uint8_t high;
    size_t messageLength;
  } cases[] = {{127, 0x7F, 0x00, 164},
               {128, 0x00, 0x01, 165},
               {200, 0x48, 0x01, 247},
               {16383, 0x7F, 0x7F, 18742}};
  for (const auto& c : cases) {
    const Bytes message = BuildWriteBlock(0x6E, 0, Bytes(static_cast<size_t>(c.length), 0xEE));
    ASSERT_EQ(message.size(), c.messageLength);
    EXPECT_EQ(message[10], c.low) << c.length;
    EXPECT_EQ(message[11], c.high) << c.length;
    EXPECT_EQ(message.back(), 0xF7) << c.length;
  }
}

TEST(WriteBlock, RefusesLengthsTheMessageCannotCarry) {
  const Bytes raw(16384, 0x01);
  for (int32_t length : {-1, 16384, INT32_MIN}) {
    Bytes buffer(kGuardCount, kGuard);
    EXPECT_EQ(WriteBlock(buffer.data(), 0x6E, 0, raw.data(), length), 0) << length;
    EXPECT_EQ(buffer, Bytes(kGuardCount, kGuard)) << length;
    EXPECT_EQ(WriteBlockLength(length), 0) << length;
  }
}

struct ClassifyCase {
  Bytes message;
  IncomingKind kind;
};

TEST(Classify, ByTheIdentifyingBytes) {
  using K = IncomingKind;
  const ClassifyCase cases[] = {
      {{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x0B, 0xF7}, K::kDeviceStatus},
      {{0xF0, 0x52, 0x7F, 0x33, 0x00, 0x00, 0xF7}, K::kDeviceStatus},  // bytes 2, 3 not examined
      {{0xF0, 0x52, 0x00, 0x6E, 0x02, 0xF7}, K::kDeviceDone},
      {{0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7}, K::kDeviceRequest},
      {{0xF0, 0x52, 0x00, 0x6E, 0x04, 0xF7}, K::kDeviceRequest},
      {{0xF0, 0x52, 0x00, 0x6E, 0x05, 0xF7}, K::kDeviceRequest},
      {{0xF0, 0x52, 0x00, 0x6E, 0x03, 0xF7}, K::kDeviceNotice},
      {{0xF0, 0x52, 0x00, 0x6E, 0x60, 0x04, 0x30, 0, 0, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0x0F, 0xF7},
       K::kReadFlashReply},
      {{0xF0, 0x52, 0x00, 0x6E, 0x60, 0x05, 0xF7}, K::kReadFlashReply},
      {{0xF0, 0x52, 0x00, 0x6E, 0x06, 0xF7}, K::kUnknownMakerCommand},
      {{0xF0, 0x52, 0x00, 0x6E, 0x0A, 0xF7}, K::kUnknownMakerCommand},
      {{0xF0, 0x52, 0x00, 0x6E, 0x5F, 0xF7}, K::kUnknownMakerCommand},
      {{0xF0, 0x52, 0x00, 0x6E, 0x61, 0xF7}, K::kUnknownMakerCommand},
      {{0xF0, 0x52, 0x00, 0x6E, 0x7F, 0xF7}, K::kUnknownMakerCommand},
      {{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, 0x31, 0x30, 0x30, 0x30, 0xF7},
       K::kIdentityReply},
      {{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x01, 0x00, 0xF7}, K::kIdentityReply},
      {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, K::kIdentityRequest},
      {{0xF0, 0x7E, 0x00, 0x06, 0x00, 0xF7}, K::kUnknownGeneralInformation},
      {{0xF0, 0x7E, 0x00, 0x06, 0x03, 0xF7}, K::kUnknownGeneralInformation},
      {{0xF0, 0x7E, 0x00, 0x07, 0x01, 0xF7}, K::kIgnored},  // not general information
      {{0xF0, 0x7E, 0x00, 0x05, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, 0xF7}, K::kIgnored},
      {{0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}, K::kIgnored},        // real-time universal
      {{0xF0, 0x41, 0x00, 0x6E, 0x00, 0x00, 0xF7}, K::kIgnored},  // another manufacturer
      {{0xF7, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7}, K::kIgnored},  // not SysEx
      {{0x90, 0x3C, 0x40}, K::kIgnored},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Classify(c.message), c.kind) << ::testing::PrintToString(c.message);
  }
}

TEST(Classify, TooShortToHoldWhatIdentifiesOrWhatIsRead) {
  using K = IncomingKind;
  const ClassifyCase cases[] = {
      {{}, K::kIgnored},
      {{0xF0}, K::kIgnored},
      {{0xF0, 0x52}, K::kIgnored},
      {{0xF0, 0x52, 0x00, 0x6E}, K::kIgnored},
      {{0xF0, 0x52, 0x00, 0x6E, 0x00}, K::kIgnored},  // status byte missing
      {{0xF0, 0x52, 0x00, 0x6E, 0x60}, K::kIgnored},  // data marker missing
      {{0xF0, 0x52, 0x00, 0x6E, 0x02}, K::kDeviceDone},
      {{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x0B}, K::kDeviceStatus},
      {{0xF0, 0x7E}, K::kIgnored},
      {{0xF0, 0x7E, 0x00, 0x06}, K::kIgnored},
      {{0xF0, 0x7E, 0x00, 0x06, 0x01}, K::kIdentityRequest},
      {{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04}, K::kIgnored},  // identity cut
      {{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00}, K::kIdentityReply},
  };
  for (const auto& c : cases) {
    // An exactly sized copy, so a sanitizer sees any read past the message.
    const Bytes exact(c.message);
    EXPECT_EQ(Classify(exact), c.kind) << ::testing::PrintToString(c.message);
  }
}

// Bytes F0 52 00 6E 60 04 30 then bytes 7..8 (not examined), n as len2, packed, crc5, F7.
Bytes ReadReply(uint8_t marker, uint8_t selector, int32_t n, const Bytes& packed,
                const Bytes& crc5) {
  Bytes message{0xF0,
                0x52,
                0x00,
                0x6E,
                0x60,
                marker,
                selector,
                0x11,
                0x22,
                static_cast<uint8_t>(n & 0x7F),
                static_cast<uint8_t>((n >> 7) & 0x7F)};
  message.insert(message.end(), packed.begin(), packed.end());
  message.insert(message.end(), crc5.begin(), crc5.end());
  message.push_back(0xF7);
  return message;
}

// DE AD BE EF packed, and the Encode35 form of its Crc32Raw 0x83635CA5.
const Bytes kDeadBeefPacked{0x78, 0x5E, 0x2D, 0x3E, 0x6F};
const Bytes kDeadBeefCrc5{0x25, 0x39, 0x0D, 0x1B, 0x08};

TEST(LocateReadFlashPayload, FindsDataAndChecksumOfAFourByteReply) {
  const Bytes message = ReadReply(0x04, 0x30, 4, kDeadBeefPacked, kDeadBeefCrc5);
  ASSERT_EQ(message.size(), 22u);
  const auto payload = LocateReadFlashPayload(message);
  ASSERT_TRUE(payload.has_value());
  EXPECT_EQ(payload->rawLength, 4);
  EXPECT_EQ(payload->packed.data(), message.data() + 11);
  EXPECT_EQ(Bytes(payload->packed.begin(), payload->packed.end()), kDeadBeefPacked);
  EXPECT_EQ(payload->expectedCrc, 0x83635CA5u);  // from bytes 16..20
  Bytes raw(4);
  Unpack7(raw.data(), payload->packed.data(), static_cast<int32_t>(payload->packed.size()));
  EXPECT_EQ(raw, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(Crc32Raw(raw.data(), 4), payload->expectedCrc);
}

TEST(LocateReadFlashPayload, EmptyReplyHasItsChecksumRightAfterTheLength) {
  const Bytes message = ReadReply(0x04, 0x30, 0, {}, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F});
  const auto payload = LocateReadFlashPayload(message);
  ASSERT_TRUE(payload.has_value());
  EXPECT_EQ(payload->rawLength, 0);
  EXPECT_TRUE(payload->packed.empty());
  EXPECT_EQ(payload->expectedCrc, 0xFFFFFFFFu);
}

TEST(LocateReadFlashPayload, RefusesWhatIsNotADataReplyOrDoesNotHoldIt) {
  const Bytes good = ReadReply(0x04, 0x30, 4, kDeadBeefPacked, kDeadBeefCrc5);
  Bytes otherCommand = good;
  otherCommand[4] = 0x00;
  const struct {
    std::string name;
    Bytes message;
  } cases[] = {
      {"marker not 04", ReadReply(0x05, 0x30, 4, kDeadBeefPacked, kDeadBeefCrc5)},
      {"selector not 30", ReadReply(0x04, 0x31, 4, kDeadBeefPacked, kDeadBeefCrc5)},
      {"not a read reply", otherCommand},
      {"last checksum byte missing", Bytes(good.begin(), good.end() - 2)},
      {"length cut", Bytes(good.begin(), good.begin() + 10)},
      {"selector cut", Bytes(good.begin(), good.begin() + 6)},
      {"n larger than the message", ReadReply(0x04, 0x30, 16383, kDeadBeefPacked, kDeadBeefCrc5)},
      {"n one more than sent", ReadReply(0x04, 0x30, 5, kDeadBeefPacked, kDeadBeefCrc5)},
  };
  for (const auto& c : cases) {
    const Bytes exact(c.message);
    EXPECT_FALSE(LocateReadFlashPayload(exact).has_value()) << c.name;
  }
  // The closing F7 is not needed to find the pieces.
  EXPECT_TRUE(LocateReadFlashPayload(Bytes(good.begin(), good.end() - 1)).has_value());
}

TEST(ParseIncoming, HandsOutTheFieldsEachKindIsHandledBy) {
  const Bytes reply = ReadReply(0x04, 0x30, 4, kDeadBeefPacked, kDeadBeefCrc5);
  const Bytes noData = ReadReply(0x05, 0x30, 4, kDeadBeefPacked, kDeadBeefCrc5);
  const Bytes cut(reply.begin(), reply.end() - 3);
  const Bytes status{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x0B, 0xF7};
  const Bytes identity{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x01, 0x00, 0xF7};

  EXPECT_EQ(ParseIncoming(status).kind, IncomingKind::kDeviceStatus);
  EXPECT_EQ(ParseIncoming(status).status, 0x0B);
  EXPECT_EQ(ParseIncoming(identity).identity, (Identity{0x6E, 0x00, 0x01, 0x00}));
  const IncomingMessage data = ParseIncoming(reply);
  EXPECT_TRUE(data.carriesData);
  ASSERT_TRUE(data.payload.has_value());
  EXPECT_EQ(data.payload->expectedCrc, 0x83635CA5u);
  EXPECT_FALSE(ParseIncoming(noData).carriesData);
  EXPECT_FALSE(ParseIncoming(noData).payload.has_value());
  // Marked as data but too short to hold it: a reply without a payload.
  EXPECT_TRUE(ParseIncoming(cut).carriesData);
  EXPECT_FALSE(ParseIncoming(cut).payload.has_value());
}

}  // namespace
}  // namespace tarn
