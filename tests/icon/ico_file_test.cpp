#include "app/icon/ico_file.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarn {
namespace {

uint32_t Read(const std::vector<uint8_t>& bytes, size_t at, int length) {
  uint32_t value = 0;
  for (int i = length - 1; i >= 0; --i)
    value = value << 8 | bytes.at(at + static_cast<size_t>(i));
  return value;
}

struct Decoded {
  int size, bits;
  std::vector<uint8_t> rgba;  // alpha 0 or 255, from the mask
};

// Reads the file back the way the system's icon loader does.
std::vector<Decoded> DecodeIco(const std::vector<uint8_t>& file) {
  std::vector<Decoded> images;
  EXPECT_EQ(Read(file, 0, 2), 0u);
  EXPECT_EQ(Read(file, 2, 2), 1u);
  const uint32_t count = Read(file, 4, 2);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * i;
    const int size = file.at(entry);
    const int bits = static_cast<int>(Read(file, entry + 6, 2));
    const size_t length = Read(file, entry + 8, 4);
    const size_t at = Read(file, entry + 12, 4);
    EXPECT_LE(at + length, file.size());
    EXPECT_EQ(Read(file, at, 4), 40u);
    EXPECT_EQ(static_cast<int>(Read(file, at + 4, 4)), size);
    EXPECT_EQ(static_cast<int>(Read(file, at + 8, 4)), 2 * size);
    EXPECT_EQ(static_cast<int>(Read(file, at + 14, 2)), bits);
    const size_t palette = at + 40;
    const size_t colors = palette + (bits <= 8 ? (size_t(1) << bits) * 4 : 0);
    const size_t colorRow = static_cast<size_t>((size * bits + 31) / 32 * 4);
    const size_t mask = colors + colorRow * static_cast<size_t>(size);
    const size_t maskRow = static_cast<size_t>((size + 31) / 32 * 4);
    EXPECT_EQ(mask + maskRow * static_cast<size_t>(size), at + length);
    Decoded image{size, bits, std::vector<uint8_t>(static_cast<size_t>(size * size) * 4)};
    for (int y = 0; y < size; ++y) {
      const size_t row = colors + colorRow * static_cast<size_t>(size - 1 - y);
      const size_t maskAt = mask + maskRow * static_cast<size_t>(size - 1 - y);
      for (int x = 0; x < size; ++x) {
        uint8_t* out = &image.rgba[static_cast<size_t>(y * size + x) * 4];
        size_t bgr = row + static_cast<size_t>(x) * 3;
        if (bits == 8) bgr = palette + file.at(row + static_cast<size_t>(x)) * 4u;
        if (bits == 4) {
          const uint8_t pair = file.at(row + static_cast<size_t>(x / 2));
          bgr = palette + static_cast<size_t>(x % 2 == 0 ? pair >> 4 : pair & 15) * 4;
        }
        out[0] = file.at(bgr + 2);
        out[1] = file.at(bgr + 1);
        out[2] = file.at(bgr);
        const bool transparent = file.at(maskAt + static_cast<size_t>(x / 8)) & (0x80 >> (x % 8));
        out[3] = transparent ? 0 : 255;
        // The colour under the mask must be black, or it shows XOR-ed over the background.
        if (transparent) {
          EXPECT_EQ(out[0] | out[1] | out[2], 0) << x << "," << y;
        }
      }
    }
    images.push_back(std::move(image));
  }
  return images;
}

// The nine images of the updater's icon survive the round trip: the mask is the drawing's
// alpha cut at half, the colours are exact at 24 bits and close with a palette.
TEST(IcoFile, RoundTripOfTheNineImages) {
  std::vector<IcoEntry> entries;
  for (const int size : {48, 32, 16}) {
    for (const int bits : {4, 8, 24})
      entries.push_back({DrawAppIcon(size), bits});
  }
  const std::vector<Decoded> decoded = DecodeIco(EncodeIco(entries));
  ASSERT_EQ(decoded.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const RgbaImage& source = entries[i].image;
    const Decoded& image = decoded[i];
    SCOPED_TRACE(testing::Message()
                 << source.size << " px, " << entries[i].bitsPerPixel << " bits");
    ASSERT_EQ(image.size, source.size);
    ASSERT_EQ(image.bits, entries[i].bitsPerPixel);
    double error = 0;
    int opaque = 0;
    for (int y = 0; y < source.size; ++y) {
      for (int x = 0; x < source.size; ++x) {
        const uint8_t* want = source.At(x, y);
        const uint8_t* got = &image.rgba[static_cast<size_t>(y * source.size + x) * 4];
        ASSERT_EQ(got[3], want[3] >= 128 ? 255 : 0) << x << "," << y;
        if (got[3] == 0) continue;
        ++opaque;
        for (int c = 0; c < 3; ++c)
          error += std::abs(got[c] - want[c]);
      }
    }
    const double meanError = error / (3.0 * opaque);
    EXPECT_LE(meanError, image.bits == 24 ? 0.0 : image.bits == 8 ? 2.0 : 12.0);
  }
}

}  // namespace
}  // namespace tarn
