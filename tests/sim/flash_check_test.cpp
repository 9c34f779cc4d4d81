// The flash check that decides whether an update left the device exactly right.
#include <gtest/gtest.h>

#include "sim/flash_check.h"
#include "sim/flash_memory.h"

namespace tarn::sim {
namespace {

std::vector<uint8_t> Blank() {
  return std::vector<uint8_t>(kFlashSize, kErasedByte);
}

TEST(CheckFlash, JudgesRegionsAndErasedRanges) {
  const std::vector<uint8_t> image{1, 2, 3, 4, 5, 6, 7, 8};
  const ExpectedFlash expected{{{"image 1", 0x1000, image}}, {{0x1000, 0x1000}}};
  struct Case {
    const char* name;
    uint32_t at;  // byte to change; 0 leaves the flash as the image set it
    uint8_t value;
    bool ok;
    const char* mentions;
  };
  const Case cases[] = {
      {"exact", 0, 0, true, "flash ok: 1 regions (8 bytes) match"},
      {"image byte wrong", 0x1003, 0x44, false,
       "image 1 at 0x1000: 1 of 8 bytes differ, first at "
       "0x1003 (expected 0x4, found 0x44)"},
      {"stray byte in erased range", 0x1FFF, 0x00, false, "erased 0x1000+0x1000: 1 bytes not 0xFF"},
      {"outside every range", 0x3000, 0x00, true, "flash ok"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> flash = Blank();
    std::copy(image.begin(), image.end(), flash.begin() + 0x1000);
    if (c.at != 0) flash[c.at] = c.value;
    const FlashCheck check = CheckFlash(flash, expected);
    EXPECT_EQ(check.ok, c.ok) << c.name << ": " << check.summary;
    EXPECT_NE(check.summary.find(c.mentions), std::string::npos) << c.name << ": " << check.summary;
  }
}

TEST(CheckFlash, ABlankFlashFailsEveryImageAndSaysHowMany) {
  const std::vector<uint8_t> a(100, 0x11);
  const std::vector<uint8_t> b(100, 0x22);
  const std::vector<uint8_t> c(100, 0x33);
  const std::vector<uint8_t> d(100, 0x44);
  const ExpectedFlash expected{
      {{"image a", 0, a}, {"image b", 0x1000, b}, {"image c", 0x2000, c}, {"image d", 0x3000, d}},
      {}};
  const FlashCheck check = CheckFlash(Blank(), expected);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.summary.find("image a at 0x0: 100 of 100 bytes differ"), std::string::npos);
  EXPECT_NE(check.summary.find("and 1 more"), std::string::npos) << check.summary;
  EXPECT_EQ(check.summary.find('\n'), std::string::npos);
}

TEST(CheckFlash, ARegionPastTheEndIsWrongNotARead) {
  const std::vector<uint8_t> image(16, 0xFF);
  const ExpectedFlash expected{{{"image x", kFlashSize - 8, image}}, {}};
  const FlashCheck check = CheckFlash(Blank(), expected);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.summary.find("runs past the end"), std::string::npos) << check.summary;
}

}  // namespace
}  // namespace tarn::sim
