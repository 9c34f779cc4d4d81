// The Windows icon file format: several images of one icon, each a device-independent bitmap
// with a transparency mask.
#pragma once

#include <cstdint>
#include <vector>

#include "app/icon/icon_drawing.h"

namespace tarn {

struct IcoEntry {
  RgbaImage image;
  int bitsPerPixel;  // 4, 8 (with a palette made for the image) or 24
};

// The bytes of an .ico file holding `entries` in their order. A pixel is transparent where
// its alpha is below half.
std::vector<uint8_t> EncodeIco(const std::vector<IcoEntry>& entries);

}  // namespace tarn
