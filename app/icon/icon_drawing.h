// The updater's icon, drawn without any toolkit: the one drawing that the Qt window, the
// desktop's PNG files and the Windows .ico file all show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

inline constexpr std::array<int, 3> kAppIconSizes{16, 32, 48};

// A square image, rows from the top, 4 bytes a pixel (red, green, blue, alpha), not
// premultiplied.
struct RgbaImage {
  int size = 0;
  std::vector<uint8_t> pixels;
  const uint8_t* At(int x, int y) const { return &pixels[static_cast<size_t>(y * size + x) * 4]; }
};

// The icon `size` pixels wide; sizes below 24 get a simpler drawing that stays sharp.
RgbaImage DrawAppIcon(int size);

}  // namespace tarn
