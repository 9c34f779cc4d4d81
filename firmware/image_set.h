// The firmware images the updater carries, found by their numeric ids.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tarn {

class ImageSet {
 public:
  virtual ~ImageSet() = default;
  // The bytes of image `id`, or nothing when the set has no such image.
  virtual std::optional<std::span<const uint8_t>> Find(int32_t id) const = 0;
};

}  // namespace tarn
