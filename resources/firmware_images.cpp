#include "resources/firmware_images.h"

#include <array>
#include <span>

// Defined by the assembler objects built from firmware_image.S.in, one per image.
#define TARN_DECLARE_IMAGE(id)                                                    \
  extern "C" const uint8_t tarn_fw_##id##_data[] __asm__("tarn_fw_" #id "_data"); \
  extern "C" const uint32_t tarn_fw_##id##_size __asm__("tarn_fw_" #id "_size");

TARN_DECLARE_IMAGE(129)
TARN_DECLARE_IMAGE(133)
TARN_DECLARE_IMAGE(136)
TARN_DECLARE_IMAGE(139)
TARN_DECLARE_IMAGE(142)

namespace tarn {
namespace {

struct Embedded {
  int32_t id;
  const uint8_t* data;
  const uint32_t* size;
};

class EmbeddedImageSet final : public ImageSet {
 public:
  std::optional<std::span<const uint8_t>> Find(int32_t id) const override {
    for (const Embedded& image : kImages) {
      if (image.id == id) return std::span<const uint8_t>(image.data, *image.size);
    }
    return std::nullopt;
  }

 private:
  static constexpr std::array<Embedded, 5> kImages{{
      {129, tarn_fw_129_data, &tarn_fw_129_size},
      {133, tarn_fw_133_data, &tarn_fw_133_size},
      {136, tarn_fw_136_data, &tarn_fw_136_size},
      {139, tarn_fw_139_data, &tarn_fw_139_size},
      {142, tarn_fw_142_data, &tarn_fw_142_size},
  }};
};

}  // namespace

const ImageSet& EmbeddedImages() {
  static const EmbeddedImageSet images;
  return images;
}

}  // namespace tarn
