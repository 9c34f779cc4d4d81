#include "sysex/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Pack7, WritesTheAbcExample) {
  const Bytes raw{0x61, 0x62, 0x63};
  Bytes packed(4);
  EXPECT_EQ(Pack7(packed.data(), raw.data(), 3), 4);
  EXPECT_EQ(packed, (Bytes{0x00, 0x61, 0x62, 0x63}));
}

}  // namespace
}  // namespace tarn
