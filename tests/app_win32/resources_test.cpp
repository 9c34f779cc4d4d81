// The resources this test program carries are the Windows program's own (the same object):
// the generated string table, the icon's nine images and the firmware images.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "app/win32/resource_ids.h"
#include "app/win32/resource_images.h"
#include "firmware/embedded_images.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

TEST(Win32Resources, StringTableHoldsEveryTextOfTheOneTable) {
  ASSERT_FALSE(StringTable().empty());
  for (const StringEntry& entry : StringTable()) {
    char text[512] = {};
    const int length =
        LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(entry.id), text, sizeof text);
    EXPECT_EQ(std::string(text, static_cast<size_t>(std::max(length, 0))), entry.text)
        << "string " << entry.id;
  }
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(Win32Resources, IconHoldsNineImages) {
  HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_MAINFRAME), MAKEINTRESOURCEA(14));
  ASSERT_NE(group, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
  ASSERT_NE(bytes, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
  std::set<std::pair<int, int>> images;  // size, bits per pixel
  for (WORD i = 0; i < count; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, bytes + 6 + i * sizeof entry, sizeof entry);
    EXPECT_EQ(entry.width, entry.height);
    images.insert({entry.width, entry.bitCount});
  }
  const std::set<std::pair<int, int>> expected{{48, 4},  {48, 8}, {48, 24}, {32, 4}, {32, 8},
                                               {32, 24}, {16, 4}, {16, 8},  {16, 24}};
  EXPECT_EQ(count, 9);
  EXPECT_EQ(images, expected);
  for (const int size : {16, 32, 48}) {
    HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                             size, size, 0);
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }
}

// The "BIN" resources are the same images the other builds carry as assembler objects.
TEST(Win32Resources, FirmwareImagesAreTheEmbeddedSet) {
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    SCOPED_TRACE(info.id);
    const auto resource = ResourceImages().Find(info.id);
    const auto embedded = EmbeddedImages().Find(info.id);
    ASSERT_TRUE(resource.has_value());
    ASSERT_TRUE(embedded.has_value());
    EXPECT_EQ(resource->size(), info.size);
    EXPECT_TRUE(std::equal(resource->begin(), resource->end(), embedded->begin(), embedded->end()));
  }
  EXPECT_FALSE(ResourceImages().Find(IDD_UPDATER).has_value());
  EXPECT_FALSE(ResourceImages().Find(130).has_value());
}

}  // namespace
}  // namespace tarn
