// The host's messages as a device reads them: each built with the host's own builders and
// parsed back, and every way a request can be malformed.
#include "sysex/host_requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/host_messages.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;
using K = RequestKind;

using namespace test;

// Variations on a good message.
Bytes With(Bytes message, size_t at, uint8_t byte) {
  message.at(at) = byte;
  return message;
}
Bytes Cut(const Bytes& message, size_t dropped) {
  return Bytes(message.begin(), message.end() - static_cast<std::ptrdiff_t>(dropped));
}

TEST(ClassifyHostMessage, ByTheIdentifyingBytesOnly) {
  const struct {
    std::string name;
    Bytes message;
    K kind;
  } cases[] = {
      {"identity request", MakeIdentityRequest(), K::kIdentityRequest},
      {"identity request to every device",
       {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
       K::kIdentityRequest},
      {"begin", MakeBegin(), K::kBeginUpdate},
      {"erase", MakeErase(0, 0x1000), K::kEraseFlash},
      {"write", MakeWrite(0, Pattern(16, 1)), K::kWriteBlock},
      {"read", MakeRead(0, 4), K::kReadFlash},
      {"finish", MakeFinish(), K::kFinishUpdate},
      {"host status", MakeHostStatus(kHostReject), K::kHostStatus},
      {"identity reply", MakeIdentityReply(AcceptedIdentities[2]), K::kIdentityReply},
      {"maker 03", {0xF0, 0x52, 0x00, 0x6E, 0x03, 0xF7}, K::kUnknownCommand},
      {"maker 61", {0xF0, 0x52, 0x00, 0x6E, 0x61, 0xF7}, K::kUnknownCommand},
      {"maker 7F", {0xF0, 0x52, 0x00, 0x6E, 0x7F, 0xF7}, K::kUnknownCommand},
      {"write cut after its command", {0xF0, 0x52, 0x00, 0x6E, 0x02}, K::kWriteBlock},
      {"maker without a command", {0xF0, 0x52, 0x00, 0x6E, 0xF7}, K::kOther},
      {"general information 03", {0xF0, 0x7E, 0x00, 0x06, 0x03, 0xF7}, K::kOther},
      {"universal, not general information", {0xF0, 0x7E, 0x00, 0x07, 0x01, 0xF7}, K::kOther},
      {"real-time universal", {0xF0, 0x7F, 0x00, 0x06, 0x01, 0xF7}, K::kOther},
      {"another manufacturer", {0xF0, 0x41, 0x00, 0x6E, 0x01, 0xF7}, K::kOther},
      {"not SysEx", {0x90, 0x3C, 0x40}, K::kOther},
      {"empty", {}, K::kOther},
      {"start alone", {0xF0}, K::kOther},
      {"maker cut before its command", {0xF0, 0x52, 0x00, 0x6E}, K::kOther},
      {"universal cut before its sub-id", {0xF0, 0x7E, 0x00, 0x06}, K::kOther},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClassifyHostMessage(c.message), c.kind) << c.name;
}

TEST(HostRequests, AddressAndCountComeBackAsBuilt) {
  const struct {
    uint32_t address;
    uint32_t count;
  } cases[] = {{0, 0}, {0x22FFC, 4}, {0x12345678, 0x10000}, {0xFFFFFFFF, 0xFFFFFFFF}};
  for (const auto& c : cases) {
    const auto erase = ParseEraseFlash(MakeErase(c.address, c.count));
    ASSERT_TRUE(erase) << c.address;
    EXPECT_EQ(erase->address, c.address);
    EXPECT_EQ(erase->count, c.count);
    const auto read = ParseReadFlash(MakeRead(c.address, c.count));
    ASSERT_TRUE(read) << c.address;
    EXPECT_EQ(read->address, c.address);
    EXPECT_EQ(read->count, c.count);
  }
}

TEST(HostRequests, BlocksOfEveryLengthComeBackWithTheirData) {
  for (const size_t length : {0, 1, 6, 7, 8, 15, 4096, 16383}) {
    const Bytes data = Pattern(length, static_cast<uint8_t>(length));
    const auto block = ParseWriteBlock(MakeWrite(0x7FF000, data));
    ASSERT_TRUE(block) << length;
    EXPECT_EQ(block->address, 0x7FF000u) << length;
    EXPECT_EQ(block->data, data) << length;
    EXPECT_TRUE(block->crcMatches) << length;
    const auto place = ParseWriteBlockPlace(MakeWrite(0x7FF000, data));
    ASSERT_TRUE(place) << length;
    EXPECT_EQ(place->address, 0x7FF000u) << length;
    EXPECT_EQ(place->length, length) << length;
  }
  // A bit flipped in transit: still a block, with the data that came and a checksum that fails.
  Bytes flipped = MakeWrite(0x1000, Pattern(4096, 3));
  flipped[flipped.size() / 2] ^= 0x01;
  const auto block = ParseWriteBlock(flipped);
  ASSERT_TRUE(block);
  EXPECT_NE(block->data, Pattern(4096, 3));
  EXPECT_FALSE(block->crcMatches);
}

TEST(HostRequests, AnswersComeBackAsBuilt) {
  for (const uint8_t status : {kHostAccept, kHostReject, uint8_t{0x7F}})
    EXPECT_EQ(ParseHostStatus(MakeHostStatus(status)), status);
  for (const Identity& identity : {Identity{}, AcceptedIdentities[0], AcceptedIdentities[2]})
    EXPECT_EQ(ParseHostIdentityReply(MakeIdentityReply(identity)), identity);
  EXPECT_TRUE(IsWellFormedBeginUpdate(MakeBegin()));
  EXPECT_TRUE(IsWellFormedFinishUpdate(MakeFinish()));
}

// Whether the parser of `kind` takes `message`.
bool Parses(K kind, const Bytes& message) {
  switch (kind) {
    case K::kEraseFlash:
      return ParseEraseFlash(message).has_value();
    case K::kReadFlash:
      return ParseReadFlash(message).has_value();
    case K::kWriteBlock:
      EXPECT_EQ(ParseWriteBlockPlace(message).has_value(), ParseWriteBlock(message).has_value());
      return ParseWriteBlock(message).has_value();
    case K::kHostStatus:
      return ParseHostStatus(message).has_value();
    case K::kIdentityReply:
      return ParseHostIdentityReply(message).has_value();
    case K::kBeginUpdate:
      return IsWellFormedBeginUpdate(message);
    case K::kFinishUpdate:
      return IsWellFormedFinishUpdate(message);
    default:
      ADD_FAILURE() << "no parser for this kind";
      return false;
  }
}

TEST(HostRequests, MalformedRequestsParseAsNothing) {
  const Bytes erase = MakeErase(0x1000, 0x1000);
  const Bytes read = MakeRead(0x1000, 4);
  const Bytes block = MakeWrite(0x1000, Pattern(10, 5));  // n = 10: 12 packed bytes from byte 12
  const struct {
    std::string name;
    K kind;
    Bytes message;
  } cases[] = {
      {"erase one data byte short", K::kEraseFlash, Shortened(erase)},
      {"erase one data byte long", K::kEraseFlash, Lengthened(erase)},
      {"erase without its F7", K::kEraseFlash, Cut(erase, 1)},
      {"erase ending in a data byte", K::kEraseFlash, With(erase, 15, 0x00)},
      {"erase with bit 7 in its address", K::kEraseFlash, With(erase, 6, 0x80)},
      {"erase of another manufacturer", K::kEraseFlash, With(erase, 1, 0x41)},
      {"a read taken for an erase", K::kEraseFlash, read},
      {"read with selector 31", K::kReadFlash, With(read, 5, 0x31)},
      {"read one data byte short", K::kReadFlash, Shortened(read)},
      {"read one data byte long", K::kReadFlash, Lengthened(read)},
      {"read with bit 7 in its count", K::kReadFlash, With(read, 15, 0xFF)},
      {"block announcing one byte more", K::kWriteBlock, With(block, 10, 11)},
      {"block announcing one byte less", K::kWriteBlock, With(block, 10, 9)},
      {"block announcing the most it can", K::kWriteBlock, With(With(block, 10, 0x7F), 11, 0x7F)},
      {"block one data byte short", K::kWriteBlock, Shortened(block)},
      {"block without its F7", K::kWriteBlock, Cut(block, 1)},
      {"block with bit 7 in its data", K::kWriteBlock, With(block, 14, 0x81)},
      {"block cut after its command", K::kWriteBlock, {0xF0, 0x52, 0x00, 0x6E, 0x02, 0xF7}},
      {"block cut inside its length", K::kWriteBlock, Cut(block, block.size() - 11)},
      {"host status without a status", K::kHostStatus, Shortened(MakeHostStatus(0))},
      {"host status one data byte long", K::kHostStatus, Lengthened(MakeHostStatus(0))},
      {"identity reply of another maker", K::kIdentityReply, With(MakeIdentityReply({}), 5, 0x41)},
      {"identity reply without its version",
       K::kIdentityReply,
       {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, 0xF7}},
      {"identity reply cut", K::kIdentityReply, Cut(MakeIdentityReply({}), 6)},
      {"begin one data byte long", K::kBeginUpdate, Lengthened(MakeBegin())},
      {"begin without its F7", K::kBeginUpdate, Cut(MakeBegin(), 1)},
      {"finish taken for a begin", K::kBeginUpdate, MakeFinish()},
      {"finish one data byte long", K::kFinishUpdate, Lengthened(MakeFinish())},
  };
  for (const auto& c : cases) {
    // Each message is its exact size, so a sanitizer sees any read past its end.
    EXPECT_FALSE(Parses(c.kind, c.message)) << c.name;
  }
}

}  // namespace
}  // namespace tarn
