// An image set together with what it is: where it came from, whether it is the stand-in set the
// build generates, the version texts inside it and each image's size and SHA-256.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/image_set.h"
#include "firmware/sha256.h"

namespace tarn {

enum class SetSource { kEmbedded, kFolder, kWindowsProgram };

struct ImageFacts {
  int32_t id = 0;
  uint32_t size = 0;
  firmware::Sha256Digest sha256{};
};

class FirmwareSet final : public ImageSet {
 public:
  struct Image {
    int32_t id;
    std::span<const uint8_t> bytes;
  };
  // `images` are views into `storage`, or of bytes that outlive the set (the embedded ones).
  // Every image is hashed here, once.
  FirmwareSet(SetSource source, std::string path, std::vector<Image> images,
              std::shared_ptr<const std::vector<uint8_t>> storage = nullptr);
  FirmwareSet(const FirmwareSet&) = delete;
  FirmwareSet& operator=(const FirmwareSet&) = delete;

  std::optional<std::span<const uint8_t>> Find(int32_t id) const override;

  SetSource Source() const { return m_source; }
  // The folder or program it was read from; empty for the embedded set.
  const std::string& Path() const { return m_path; }
  // Byte for byte the stand-in set, wherever it came from.
  bool IsStandIn() const { return m_standIn; }
  // The four bytes at the end of the boot image and at 0xFE0 of the version block, as they
  // stand; empty when the image is missing or too short.
  const std::string& BootVersion() const { return m_bootVersion; }
  const std::string& SystemVersion() const { return m_systemVersion; }
  // In the catalogue's order; only the images the set holds.
  const std::vector<ImageFacts>& Facts() const { return m_facts; }

 private:
  SetSource m_source;
  std::string m_path;
  std::vector<Image> m_images;
  std::shared_ptr<const std::vector<uint8_t>> m_storage;
  std::vector<ImageFacts> m_facts;
  bool m_standIn = false;
  std::string m_bootVersion;
  std::string m_systemVersion;
};

// "d.dd", as every version text of a real set reads.
bool IsVersionText(const std::string& text);

// The set in one line, for the first line of an update and the About box:
// "system 2.00, boot 1.00, stand-in set (built in)".
std::string DescribeSet(const FirmwareSet& set);
// Where it came from: "built in", "folder PATH", "Windows program PATH".
std::string SourceText(const FirmwareSet& set);

}  // namespace tarn
