#include "app/dialog_units.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn {
namespace {

// Base units 6 x 13 are those of an 8-point "MS Sans Serif" at 96 dpi, whose conversions are
// well known; 7 x 14 is what this machine's system font gives.
struct Conversion {
  int baseX, baseY;
  int x, y, width, height;
  QRect expected;
};

// "Base6x13At7_7Size1x1": the base units, then the rectangle in dialog units.
std::string NameOf(const Conversion& c) {
  return "Base" + std::to_string(c.baseX) + "x" + std::to_string(c.baseY) + "At" +
         std::to_string(c.x) + "_" + std::to_string(c.y) + "Size" + std::to_string(c.width) + "x" +
         std::to_string(c.height);
}

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const Conversion& c, std::ostream* out) {
  *out << NameOf(c);
}

class DialogUnitsConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(DialogUnitsConversion, ScalesAndRoundsToTheNearestPixel) {
  const Conversion& c = GetParam();
  EXPECT_EQ(DialogUnits(c.baseX, c.baseY).toPixels(c.x, c.y, c.width, c.height), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogUnitsConversion,
                         ::testing::Values(Conversion{6, 13, 0, 0, 50, 14, QRect(0, 0, 75, 23)},
                                           // 358.5 and 261.625: halves round up.
                                           Conversion{6, 13, 0, 0, 239, 161, QRect(0, 0, 359, 262)},
                                           Conversion{6, 13, 7, 7, 1, 1, QRect(11, 11, 2, 2)},
                                           Conversion{7, 14, 119, 138, 50, 16,
                                                      QRect(208, 242, 88, 28)},
                                           Conversion{8, 16, 0, 0, 4, 8, QRect(0, 0, 8, 16)}),
                         [](const auto& info) { return NameOf(info.param); });

TEST(DialogUnits, NegativeUnitsRoundAwayFromZero) {
  const DialogUnits units(6, 13);
  EXPECT_EQ(units.toPixelsX(-1), -2);  // -1.5
  EXPECT_EQ(units.toPixelsY(-1), -2);  // -1.625
}

TEST(DialogUnits, WiderFontsGiveLargerUnits) {
  QFont small(QStringLiteral("DejaVu Sans"), 8);
  QFont large(QStringLiteral("DejaVu Sans"), 16);
  const DialogUnits a = DialogUnits::FromFont(small);
  const DialogUnits b = DialogUnits::FromFont(large);
  EXPECT_GT(a.baseX(), 0);
  EXPECT_GT(b.baseX(), a.baseX());
  EXPECT_GT(b.baseY(), a.baseY());
}

}  // namespace
}  // namespace tarn
