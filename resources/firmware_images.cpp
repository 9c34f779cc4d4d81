#include "resources/firmware_images.h"

#include <array>
#include <span>

// Defined by the assembler objects built from firmware_image.S.in, one per image.
#define TARN_DECLARE_IMAGE(id, size)                                              \
  extern "C" const uint8_t tarn_fw_##id##_data[] __asm__("tarn_fw_" #id "_data"); \
  extern "C" const uint32_t tarn_fw_##id##_size __asm__("tarn_fw_" #id "_size");
TARN_FIRMWARE_CATALOG(TARN_DECLARE_IMAGE)
#undef TARN_DECLARE_IMAGE

namespace tarn {
namespace {

struct Embedded {
  int32_t id;
  const uint8_t* data;
  const uint32_t* size;
};

#define TARN_EMBEDDED_IMAGE(id, size) Embedded{id, tarn_fw_##id##_data, &tarn_fw_##id##_size},
constexpr std::array kImages{TARN_FIRMWARE_CATALOG(TARN_EMBEDDED_IMAGE)};
#undef TARN_EMBEDDED_IMAGE

class EmbeddedImageSet final : public ImageSet {
 public:
  std::optional<std::span<const uint8_t>> Find(int32_t id) const override {
    for (const Embedded& image : kImages) {
      if (image.id == id) return std::span<const uint8_t>(image.data, *image.size);
    }
    return std::nullopt;
  }
};

}  // namespace

const ImageSet& EmbeddedImages() {
  static const EmbeddedImageSet images;
  return images;
}

}  // namespace tarn
