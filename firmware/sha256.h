// SHA-256 (FIPS 180-4), for naming firmware images and telling the stand-in set by its bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tarn::firmware {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const uint8_t> bytes);
  // Ends the hash; the object must not be updated afterwards.
  Sha256Digest Finish();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> m_state;
  std::array<uint8_t, 64> m_buffer{};
  size_t m_buffered = 0;
  uint64_t m_length = 0;  // bytes hashed so far
};

Sha256Digest Sha256Of(std::span<const uint8_t> bytes);
// 64 lower-case hex digits.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace tarn::firmware
