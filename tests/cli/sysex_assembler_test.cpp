// tarn-device-sim's input: whole SysEx messages from a byte stream cut anywhere.
#include <gtest/gtest.h>

#include "sim/device_sim_input.h"

namespace tarn::sim {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Assemble(const std::vector<Bytes>& pieces) {
  std::vector<Bytes> messages;
  SysExAssembler assembler([&](std::span<const uint8_t> message) {
    messages.emplace_back(message.begin(), message.end());
  });
  for (const Bytes& piece : pieces)
    assembler.Feed(piece);
  return messages;
}

TEST(SysExAssembler, Streams) {
  const Bytes identity{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
  const Bytes begin{0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7};
  struct Case {
    const char* name;
    std::vector<Bytes> pieces;
    std::vector<Bytes> messages;
  };
  const std::vector<Case> cases{
      {"whole", {identity}, {identity}},
      {"two in one piece",
       {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7, 0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7}},
       {identity, begin}},
      {"byte by byte", {{0xF0}, {0x7E}, {0x00}, {0x06}, {0x01}, {0xF7}}, {identity}},
      {"real-time bytes inside are skipped",
       {{0xF0, 0x7E, 0xF8, 0x00, 0x06}, {0xFE, 0x01, 0xF7}},
       {identity}},
      {"a status byte abandons the message",
       {{0xF0, 0x7E, 0x00, 0x90, 0x40, 0x7F, 0xF7}, begin},
       {begin}},
      {"a new start abandons the message", {{0xF0, 0x7E, 0x00}, identity}, {identity}},
      {"bytes outside a message are ignored",
       {{0x90, 0x40, 0x7F, 0xF7}, identity, {0x01}},
       {identity}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Assemble(c.pieces), c.messages) << c.name;
}

TEST(SysExAssembler, LargeBlockInRandomPieces) {
  Bytes block{0xF0, 0x52, 0x00, 0x6E, 0x02};
  for (int i = 0; i < 4690; ++i)
    block.push_back(static_cast<uint8_t>(i % 0x80));
  block.push_back(0xF7);
  std::vector<Bytes> pieces;
  size_t at = 0;
  uint32_t seed = 12345;
  while (at < block.size()) {
    seed = seed * 1103515245 + 12345;
    const size_t length = std::min<size_t>(1 + (seed >> 16) % 700, block.size() - at);
    pieces.emplace_back(block.begin() + at, block.begin() + at + length);
    at += length;
  }
  EXPECT_EQ(Assemble(pieces), std::vector<Bytes>{block});
}

}  // namespace
}  // namespace tarn::sim
