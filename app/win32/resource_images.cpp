#include "app/win32/resource_images.h"

#include <windows.h>

#include "firmware/catalog.h"

namespace tarn {
namespace {

// Loaded resources stay mapped with the executable: nothing to release.
std::vector<FirmwareSet::Image> FindImages() {
  std::vector<FirmwareSet::Image> images;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(info.id), "BIN");
    if (found == nullptr) continue;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) continue;
    images.push_back({info.id, std::span<const uint8_t>(static_cast<const uint8_t*>(bytes),
                                                        SizeofResource(nullptr, found))});
  }
  return images;
}

}  // namespace

const FirmwareSet& ResourceImages() {
  static const FirmwareSet images(SetSource::kEmbedded, "", FindImages());
  return images;
}

}  // namespace tarn
