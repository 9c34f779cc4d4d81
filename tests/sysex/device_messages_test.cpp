// The device's messages byte for byte, and read back the way the host reads them.
#include "sysex/device_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sysex/codec.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;
using K = IncomingKind;

constexpr uint8_t kModel = 0x6E;

struct MessageCase {
  std::string name;
  Bytes built;
  Bytes expected;
  K kind;
  uint8_t status = 0;
  Identity identity{};
};

// A message that is nothing but one command byte after its header: F0 52 00 <model> cc F7 for a
// maker command, F0 7E 00 06 ss F7 for general information. `byte` is written out apart from
// the constant so that a wrong constant shows.
MessageCase MakerCommand(std::string name, uint8_t command, uint8_t byte, K kind) {
  return {std::move(name), MakerCommandMessage(kModel, command),
          Bytes{0xF0, 0x52, 0x00, 0x6E, byte, 0xF7}, kind};
}

MessageCase GeneralInformation(std::string name, uint8_t subId, uint8_t byte, K kind) {
  return {std::move(name), GeneralInformationMessage(subId),
          Bytes{0xF0, 0x7E, 0x00, 0x06, byte, 0xF7}, kind};
}

TEST(DeviceMessages, ByteForByteAndAsTheHostReadsThem) {
  const MessageCase cases[] = {
      {"status",
       DeviceStatusMessage(kModel, 0x0B),
       {0xF0, 0x52, 0x00, 0x6E, 0x00, 0x0B, 0xF7},
       K::kDeviceStatus,
       0x0B},
      {"status without bit 7",
       DeviceStatusMessage(0xEE, 0x81),
       {0xF0, 0x52, 0x00, 0x6E, 0x00, 0x01, 0xF7},
       K::kDeviceStatus,
       0x01},
      {"done", DeviceDoneMessage(kModel), {0xF0, 0x52, 0x00, 0x6E, 0x02, 0xF7}, K::kDeviceDone},
      {"identity reply",
       DeviceIdentityReplyMessage({0x6E, 0x00, 0x04, 0x00}, {'0', '1', '0', '0'}),
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, '0', '1', '0', '0', 0xF7},
       K::kIdentityReply,
       0,
       {0x6E, 0x00, 0x04, 0x00}},
      {"identity reply without bit 7",
       DeviceIdentityReplyMessage({0xEE, 0x80, 0x01, 0xFF}, {0xB1, '.', '0', '0'}),
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x01, 0x7F, '1', '.', '0', '0', 0xF7},
       K::kIdentityReply,
       0,
       {0x6E, 0x00, 0x01, 0x7F}},
      MakerCommand("request 01", device_command::kRequest01, 0x01, K::kDeviceRequest),
      MakerCommand("request 04", device_command::kRequest04, 0x04, K::kDeviceRequest),
      MakerCommand("request 05", device_command::kRequest05, 0x05, K::kDeviceRequest),
      MakerCommand("notice", device_command::kNotice, 0x03, K::kDeviceNotice),
      MakerCommand("unknown command", device_command::kUnknown, 0x06, K::kUnknownMakerCommand),
      GeneralInformation("identity request", kIdentityRequestSubId, 0x01, K::kIdentityRequest),
      GeneralInformation("unknown general information", kUnknownGeneralInformationSubId, 0x03,
                         K::kUnknownGeneralInformation),
      {"read reply of DE AD BE EF",
       ReadFlashReplyMessage(kModel, Bytes{0xDE, 0xAD, 0xBE, 0xEF}),
       {0xF0, 0x52, 0x00, 0x6E, 0x60, 0x04, 0x30, 0x00, 0x00, 0x04, 0x00,  // n = 4
        0x78, 0x5E, 0x2D, 0x3E, 0x6F,                                      // packed
        0x25, 0x39, 0x0D, 0x1B, 0x08,                                      // crc5 of 0x83635CA5
        0xF7},
       K::kReadFlashReply},
      {"empty read reply",
       ReadFlashReplyMessage(kModel, {}),
       {0xF0, 0x52, 0x00, 0x6E, 0x60, 0x04, 0x30, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x7F, 0x7F, 0x7F,
        0x0F, 0xF7},
       K::kReadFlashReply},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.built, c.expected) << c.name;
    const IncomingMessage parsed = ParseIncoming(c.built);
    EXPECT_EQ(parsed.kind, c.kind) << c.name;
    EXPECT_EQ(parsed.status, c.status) << c.name;
    EXPECT_EQ(parsed.identity, c.identity) << c.name;
  }
}

TEST(DeviceMessages, ReadRepliesOfEveryLengthComeBackWithTheirData) {
  for (const size_t length : {0, 1, 6, 7, 8, 4096, 16383}) {
    Bytes data(length);
    for (size_t i = 0; i < length; ++i)
      data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (const ReplyChecksum checksum : {ReplyChecksum::kIntact, ReplyChecksum::kSpoiled}) {
      const bool intact = checksum == ReplyChecksum::kIntact;
      SCOPED_TRACE(std::to_string(length) + (intact ? " intact" : " spoiled"));
      const Bytes reply = ReadFlashReplyMessage(kModel, data, checksum);
      ASSERT_EQ(reply.size(), static_cast<size_t>(17 + PackedLength(static_cast<int32_t>(length))));
      for (size_t i = 1; i + 1 < reply.size(); ++i)
        ASSERT_LT(reply[i], 0x80) << i;
      const IncomingMessage parsed = ParseIncoming(reply);
      ASSERT_TRUE(parsed.carriesData && parsed.payload);
      EXPECT_EQ(parsed.payload->rawLength, static_cast<int32_t>(length));
      const auto unpacked = UnpackReadFlashReply(reply);
      ASSERT_TRUE(unpacked);
      EXPECT_EQ(unpacked->data, data);
      EXPECT_EQ(unpacked->crcMatches, intact);
    }
  }
}

TEST(DeviceMessages, WhatNoReadReplyCanCarry) {
  EXPECT_TRUE(ReadFlashReplyMessage(kModel, Bytes(kMaxLen2 + 1, 0x00)).empty());
  const Bytes reply = ReadFlashReplyMessage(kModel, Bytes(100, 0x5A));
  // Cut anywhere before its checksum's last byte, a reply holds no data to unpack.
  for (size_t length = 0; length + 1 < reply.size(); ++length)
    EXPECT_FALSE(UnpackReadFlashReply(Bytes(reply.begin(), reply.begin() + length))) << length;
  EXPECT_FALSE(UnpackReadFlashReply(DeviceStatusMessage(kModel, 0)));
}

}  // namespace
}  // namespace tarn
