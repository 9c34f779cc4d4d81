#include "firmware/embedded_images.h"

#include <array>
#include <span>

// Defined by the assembler objects built from embedded_image.S.in, one per image.
#define TARN_DECLARE_IMAGE(id, size)                                              \
  extern "C" const uint8_t tarn_fw_##id##_data[] __asm__("tarn_fw_" #id "_data"); \
  extern "C" const uint32_t tarn_fw_##id##_size __asm__("tarn_fw_" #id "_size");
TARN_FIRMWARE_CATALOG(TARN_DECLARE_IMAGE)
#undef TARN_DECLARE_IMAGE

namespace tarn {

const FirmwareSet& EmbeddedImages() {
#define TARN_EMBEDDED_IMAGE(id, size) \
  FirmwareSet::Image{id, std::span<const uint8_t>(tarn_fw_##id##_data, tarn_fw_##id##_size)},
  static const FirmwareSet images(SetSource::kEmbedded, "",
                                  {TARN_FIRMWARE_CATALOG(TARN_EMBEDDED_IMAGE)});
#undef TARN_EMBEDDED_IMAGE
  return images;
}

}  // namespace tarn
