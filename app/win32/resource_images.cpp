#include "app/win32/resource_images.h"

#include <windows.h>

namespace tarn {
namespace {

class ResourceImageSet final : public ImageSet {
 public:
  // Loaded resources stay mapped with the executable: nothing to release.
  std::optional<std::span<const uint8_t>> Find(int32_t id) const override {
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "BIN");
    if (info == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(nullptr, info);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return std::nullopt;
    return std::span<const uint8_t>(static_cast<const uint8_t*>(bytes),
                                    SizeofResource(nullptr, info));
  }
};

}  // namespace

const ImageSet& ResourceImages() {
  static const ResourceImageSet images;
  return images;
}

}  // namespace tarn
