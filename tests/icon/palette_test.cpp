#include "app/icon/palette.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarn {
namespace {

TEST(MedianCutPalette, FewColorsArePaletteEntriesAsTheyAre) {
  const std::vector<Rgb> colors{{10, 20, 30}, {200, 0, 0}, {10, 20, 30}, {0, 0, 255}};
  std::vector<Rgb> palette = MedianCutPalette(colors, 16);
  ASSERT_EQ(palette.size(), 3u);
  for (const Rgb& color : colors)
    EXPECT_EQ(palette[NearestEntry(palette, color)], color);
}

// A smooth ramp of 256 greys in 16 entries: every grey is within a band's half-width.
TEST(MedianCutPalette, ManyColorsAreCoveredEvenly) {
  std::vector<Rgb> ramp;
  for (int v = 0; v < 256; ++v)
    ramp.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
  const std::vector<Rgb> palette = MedianCutPalette(ramp, 16);
  ASSERT_EQ(palette.size(), 16u);
  for (const Rgb& color : ramp) {
    const Rgb& entry = palette[NearestEntry(palette, color)];
    EXPECT_LE(std::abs(entry.r - color.r), 8) << int(color.r);
  }
}

TEST(MedianCutPalette, NothingToStandForGivesNoEntries) {
  EXPECT_TRUE(MedianCutPalette({}, 16).empty());
}

}  // namespace
}  // namespace tarn
