// The image set built into the program: every image of the catalog, whole, with its versions.
#include <gtest/gtest.h>

#include <string>

#include "firmware/embedded_images.h"
#include "firmware/stand_in_digests.h"

namespace tarn {
namespace {

std::string TextAt(std::span<const uint8_t> image, size_t offset) {
  return std::string(image.begin() + static_cast<std::ptrdiff_t>(offset),
                     image.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

TEST(EmbeddedImages, HoldsEveryCatalogImageAtItsSize) {
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const auto image = EmbeddedImages().Find(info.id);
    ASSERT_TRUE(image) << info.id;
    EXPECT_EQ(image->size(), info.size) << info.id;
  }
  EXPECT_FALSE(EmbeddedImages().Find(130));
  EXPECT_FALSE(EmbeddedImages().Find(0));
}

TEST(EmbeddedImages, CarriesTheBootAndSystemVersionTexts) {
  const auto boot = EmbeddedImages().Find(firmware::kBootImageId);
  const auto block = EmbeddedImages().Find(firmware::kVersionBlockId);
  ASSERT_TRUE(boot && block);
  EXPECT_EQ(TextAt(*boot, boot->size() - 4), firmware::kStandInBootVersion);
  EXPECT_EQ(TextAt(*block, firmware::kSystemVersionOffset), firmware::kStandInSystemVersion);
}

TEST(EmbeddedImages, KnowsItselfAsTheStandInSetWithItsVersionsAndDigests) {
  const FirmwareSet& set = EmbeddedImages();
  EXPECT_TRUE(set.IsStandIn());
  EXPECT_EQ(set.Source(), SetSource::kEmbedded);
  EXPECT_EQ(set.BootVersion(), firmware::kStandInBootVersion);
  EXPECT_EQ(set.SystemVersion(), firmware::kStandInSystemVersion);
  ASSERT_EQ(set.Facts().size(), firmware::kCatalog.size());
  for (const ImageFacts& facts : set.Facts()) {
    EXPECT_EQ(facts.sha256, firmware::Sha256Of(*set.Find(facts.id))) << facts.id;
    EXPECT_EQ(facts.sha256, *firmware::StandInDigest(facts.id)) << facts.id;
  }
  EXPECT_EQ(DescribeSet(set), "system 2.00, boot 1.00, stand-in set (built in)");
}

TEST(EmbeddedImages, ImagesAreDistinctAndNotBlank) {
  const auto a = EmbeddedImages().Find(129);
  const auto b = EmbeddedImages().Find(133);
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(std::equal(b->begin(), b->end(), a->begin()));
  const auto big = EmbeddedImages().Find(136);
  ASSERT_TRUE(big);
  // The last block is embedded too, not only the start of the file.
  const auto tail = big->last(4096);
  EXPECT_NE(std::count(tail.begin(), tail.end(), uint8_t{0xFF}), 4096);
  EXPECT_NE(std::count(tail.begin(), tail.end(), uint8_t{0x00}), 4096);
}

}  // namespace
}  // namespace tarn
