// The firmware images the updater carries: their ids, sizes and the version texts inside them.
// Shared by the build's stand-in generator, every image set and their tests. The ids and sizes
// come from catalog.txt, through the list the build generates from it.
#pragma once

#include <array>
#include <cstdint>

#include "firmware/catalog_list.h"

namespace tarn::firmware {

struct ImageInfo {
  int32_t id;
  uint32_t size;
};

#define TARN_CATALOG_ENTRY(id, size) ImageInfo{id, size},
inline constexpr std::array kCatalog{TARN_FIRMWARE_CATALOG(TARN_CATALOG_ENTRY)};
#undef TARN_CATALOG_ENTRY

constexpr const ImageInfo* CatalogEntry(int32_t id) {
  for (const ImageInfo& image : kCatalog) {
    if (image.id == id) return &image;
  }
  return nullptr;
}

// By id, not through CatalogEntry: GCC's sanitizers make a pointer comparison non-constant.
constexpr bool IsCatalogued(int32_t id) {
  for (const ImageInfo& image : kCatalog) {
    if (image.id == id) return true;
  }
  return false;
}

inline constexpr int32_t kBootImageId = 142;     // ends in its version text
inline constexpr int32_t kVersionBlockId = 139;  // holds the system version text
static_assert(IsCatalogued(kBootImageId) && IsCatalogued(kVersionBlockId));
inline constexpr uint32_t kSystemVersionOffset = 0xFE0;
inline constexpr uint32_t kVersionTextLength = 4;

// The texts the stand-in set carries where a real set carries its own versions.
inline constexpr char kStandInBootVersion[] = "1.00";
inline constexpr char kStandInSystemVersion[] = "2.00";

}  // namespace tarn::firmware
