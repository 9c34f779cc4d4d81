// Writes the deterministic stand-in firmware set: every image of the catalog at its exact size,
// pseudo-random bytes from a fixed seed, with the version texts where real images carry them.
// Usage: tarn_firmware_gen <output folder>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/firmware_catalog.h"

namespace {

using tarn::firmware::ImageInfo;

// xorshift64: fast, and the same bytes on every platform and compiler.
class XorShift {
 public:
  explicit XorShift(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 7;
    m_state ^= m_state << 17;
    return m_state;
  }

 private:
  uint64_t m_state;
};

std::vector<uint8_t> StandIn(const ImageInfo& info) {
  XorShift random(0x7A4E5EEDull * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(info.id));
  std::vector<uint8_t> bytes(info.size);
  for (size_t i = 0; i < bytes.size(); i += 8) {
    const uint64_t word = random.Next();
    for (size_t j = 0; j < 8 && i + j < bytes.size(); ++j) {
      bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
    }
  }
  using namespace tarn::firmware;
  if (info.id == kBootImageId) {
    std::memcpy(bytes.data() + bytes.size() - kVersionTextLength, kStandInBootVersion,
                kVersionTextLength);
  }
  if (info.id == kVersionBlockId) {
    std::memcpy(bytes.data() + kSystemVersionOffset, kStandInSystemVersion, kVersionTextLength);
  }
  return bytes;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  for (const ImageInfo& info : tarn::firmware::kCatalog) {
    const std::string path = std::string(argv[1]) + "/" + std::to_string(info.id) + ".bin";
    if (!Write(path, StandIn(info))) {
      std::fprintf(stderr, "tarn_firmware_gen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
