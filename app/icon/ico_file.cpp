#include "app/icon/ico_file.h"

#include "app/icon/palette.h"

namespace tarn {
namespace {

constexpr uint8_t kOpaque = 128;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

size_t RowBytes(int width, int bitsPerPixel) {
  return static_cast<size_t>((width * bitsPerPixel + 31) / 32 * 4);
}

Rgb ColorAt(const RgbaImage& image, int x, int y) {
  const uint8_t* pixel = image.At(x, y);
  return {pixel[0], pixel[1], pixel[2]};
}

bool Transparent(const RgbaImage& image, int x, int y) {
  return image.At(x, y)[3] < kOpaque;
}

// Entry 0 is black, what transparent pixels carry so that the mask alone shows through.
std::vector<Rgb> PaletteFor(const RgbaImage& image, size_t count) {
  std::vector<Rgb> visible;
  for (int y = 0; y < image.size; ++y) {
    for (int x = 0; x < image.size; ++x) {
      if (!Transparent(image, x, y)) visible.push_back(ColorAt(image, x, y));
    }
  }
  std::vector<Rgb> palette{{0, 0, 0}};
  for (const Rgb& color : MedianCutPalette(std::move(visible), count - 1))
    palette.push_back(color);
  palette.resize(count, Rgb{0, 0, 0});
  return palette;
}

// BITMAPINFOHEADER, palette, colour rows and mask rows, both from the bottom up.
std::vector<uint8_t> EncodeImage(const IcoEntry& entry) {
  const RgbaImage& image = entry.image;
  const int bits = entry.bitsPerPixel;
  const int size = image.size;
  const size_t colorRow = RowBytes(size, bits);
  const size_t maskRow = RowBytes(size, 1);
  const std::vector<Rgb> palette =
      bits <= 8 ? PaletteFor(image, size_t(1) << bits) : std::vector<Rgb>{};
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, static_cast<uint32_t>(size * 2));  // colour and mask, one above the other
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bits));
  Put32(out, 0);  // uncompressed
  Put32(out, static_cast<uint32_t>((colorRow + maskRow) * static_cast<size_t>(size)));
  for (int i = 0; i < 4; ++i)
    Put32(out, 0);
  for (const Rgb& color : palette) {
    out.insert(out.end(), {color.b, color.g, color.r, 0});
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(colorRow, 0);
    for (int x = 0; x < size; ++x) {
      const Rgb color = Transparent(image, x, y) ? Rgb{0, 0, 0} : ColorAt(image, x, y);
      if (bits == 24) {
        row[static_cast<size_t>(x) * 3] = color.b;
        row[static_cast<size_t>(x) * 3 + 1] = color.g;
        row[static_cast<size_t>(x) * 3 + 2] = color.r;
        continue;
      }
      const auto index = static_cast<uint8_t>(NearestEntry(palette, color));
      if (bits == 8) {
        row[static_cast<size_t>(x)] = index;
      } else {
        row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskRow, 0);
    for (int x = 0; x < size; ++x) {
      if (Transparent(image, x, y)) row[static_cast<size_t>(x / 8)] |= uint8_t(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeIco(const std::vector<IcoEntry>& entries) {
  std::vector<std::vector<uint8_t>> images;
  for (const IcoEntry& entry : entries)
    images.push_back(EncodeImage(entry));

  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<uint32_t>(entries.size()));
  auto offset = static_cast<uint32_t>(6 + 16 * entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const int size = entries[i].image.size;
    const int bits = entries[i].bitsPerPixel;
    out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
    out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
    out.push_back(static_cast<uint8_t>(bits < 8 ? 1 << bits : 0));  // colours; 0: 256 or more
    out.push_back(0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, static_cast<uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::vector<uint8_t>& image : images)
    out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace tarn
