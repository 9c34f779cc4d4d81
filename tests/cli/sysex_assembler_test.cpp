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

}  // namespace
}  // namespace tarn::sim
