// Colour palettes for the icon's 16- and 256-colour images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// At most `count` colours that stand for `colors` (median cut: the box of colours with the
// widest spread is halved at its median until there are `count` boxes; each gives its mean).
std::vector<Rgb> MedianCutPalette(std::vector<Rgb> colors, size_t count);

// The index of the entry of `palette` nearest to `color`.
size_t NearestEntry(const std::vector<Rgb>& palette, Rgb color);

}  // namespace tarn
