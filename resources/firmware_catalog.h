// The five firmware images the updater carries: their ids, sizes and the version texts inside
// them. Shared by the build's stand-in generator, the embedded set and its tests.
#pragma once

#include <array>
#include <cstdint>

namespace tarn::firmware {

struct ImageInfo {
  int32_t id;
  uint32_t size;
};

inline constexpr std::array<ImageInfo, 5> kCatalog{{
    {129, 501408},
    {133, 118784},
    {136, 6946816},
    {139, 4096},
    {142, 143360},
}};

inline constexpr int32_t kBootImageId = 142;     // ends in its version text
inline constexpr int32_t kVersionBlockId = 139;  // holds the system version text
inline constexpr uint32_t kSystemVersionOffset = 0xFE0;
inline constexpr uint32_t kVersionTextLength = 4;

// The texts the stand-in set carries where a real set carries its own versions.
inline constexpr char kStandInBootVersion[] = "1.00";
inline constexpr char kStandInSystemVersion[] = "2.00";

}  // namespace tarn::firmware
