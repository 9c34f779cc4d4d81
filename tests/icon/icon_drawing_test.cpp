#include "app/icon/icon_drawing.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

uint8_t Alpha(const RgbaImage& image, int x, int y) {
  return image.At(x, y)[3];
}

// The lake is a rounded square: its corners stay clear, its edges and middle are covered, and
// a tenth of it or more is the light arrow or chip.
TEST(AppIconDrawing, EverySizeIsARoundedSquareWithTheArrow) {
  for (const int size : kAppIconSizes) {
    SCOPED_TRACE(size);
    const RgbaImage image = DrawAppIcon(size);
    ASSERT_EQ(image.size, size);
    ASSERT_EQ(image.pixels.size(), static_cast<size_t>(size * size * 4));
    const int last = size - 1;
    for (const auto& [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
      EXPECT_EQ(Alpha(image, x, y), 0) << x << "," << y;
    EXPECT_EQ(Alpha(image, size / 2, 1), 255);
    EXPECT_EQ(Alpha(image, 1, size / 2), 255);

    int lightPixels = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint8_t* pixel = image.At(x, y);
        lightPixels += pixel[0] > 0xe0 && pixel[1] > 0xe0 && pixel[2] > 0xe0;
      }
    }
    EXPECT_GE(lightPixels, size * size / 10);
  }
}

TEST(AppIconDrawing, TheLakeDarkensTowardsTheBottom) {
  const RgbaImage image = DrawAppIcon(48);
  EXPECT_GT(image.At(3, 8)[2], image.At(3, 40)[2]);
  EXPECT_GT(image.At(3, 8)[1], image.At(3, 40)[1]);
}

}  // namespace
}  // namespace tarn
