#include "firmware/firmware_set.h"

#include <algorithm>
#include <cctype>

#include "firmware/catalog.h"
#include "firmware/stand_in_digests.h"

namespace tarn {
namespace {

std::string TextAt(std::optional<std::span<const uint8_t>> image, size_t offset) {
  if (!image || image->size() < offset + firmware::kVersionTextLength) return {};
  return std::string(image->begin() + offset,
                     image->begin() + offset + firmware::kVersionTextLength);
}

}  // namespace

FirmwareSet::FirmwareSet(SetSource source, std::string path, std::vector<Image> images,
                         std::shared_ptr<const std::vector<uint8_t>> storage)
    : m_source(source),
      m_path(std::move(path)),
      m_images(std::move(images)),
      m_storage(std::move(storage)) {
  bool standIn = true;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const auto image = Find(info.id);
    const firmware::Sha256Digest* standInDigest = firmware::StandInDigest(info.id);
    if (!image) {
      standIn = false;
      continue;
    }
    ImageFacts facts{info.id, static_cast<uint32_t>(image->size()), firmware::Sha256Of(*image)};
    standIn = standIn && standInDigest != nullptr && *standInDigest == facts.sha256;
    m_facts.push_back(facts);
  }
  m_standIn = standIn;
  const auto boot = Find(firmware::kBootImageId);
  if (boot && boot->size() >= firmware::kVersionTextLength)
    m_bootVersion = TextAt(boot, boot->size() - firmware::kVersionTextLength);
  m_systemVersion = TextAt(Find(firmware::kVersionBlockId), firmware::kSystemVersionOffset);
}

std::optional<std::span<const uint8_t>> FirmwareSet::Find(int32_t id) const {
  for (const Image& image : m_images) {
    if (image.id == id) return image.bytes;
  }
  return std::nullopt;
}

bool IsVersionText(const std::string& text) {
  const auto digit = [&text](size_t i) {
    return std::isdigit(static_cast<unsigned char>(text[i])) != 0;
  };
  return text.size() == 4 && digit(0) && text[1] == '.' && digit(2) && digit(3);
}

std::string SourceText(const FirmwareSet& set) {
  switch (set.Source()) {
    case SetSource::kEmbedded:
      return "built in";
    case SetSource::kFolder:
      return "folder " + set.Path();
    case SetSource::kWindowsProgram:
      return "Windows program " + set.Path();
  }
  return {};
}

std::string DescribeSet(const FirmwareSet& set) {
  // A damaged text must not reach a terminal as control characters.
  const auto printable = [](std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return text.empty() ? std::string("none") : text;
  };
  return "system " + printable(set.SystemVersion()) + ", boot " + printable(set.BootVersion()) +
         ", " + (set.IsStandIn() ? "stand-in set" : "image set") + " (" + SourceText(set) + ")";
}

}  // namespace tarn
