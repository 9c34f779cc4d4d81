#include "sysex/messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(WriteBlock, CarriesAbcAndItsChecksum) {
  const Bytes raw{0x61, 0x62, 0x63};
  Bytes message(WriteBlockLength(3));
  EXPECT_EQ(WriteBlock(message.data(), 0x6E, 0, raw.data(), 3), 22);
  EXPECT_EQ(message, (Bytes{0xF0, 0x52, 0x00, 0x6E, 0x02, 0,    0,    0,    0,    0,    0x03,
                            0x00, 0x00, 0x61, 0x62, 0x63, 0x3D, 0x7C, 0x6E, 0x56, 0x0C, 0xF7}));
}

}  // namespace
}  // namespace tarn
