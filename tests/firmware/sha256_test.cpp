// SHA-256 against the NIST examples, fed whole and in uneven pieces.
#include <gtest/gtest.h>

#include <string>

#include "firmware/sha256.h"

namespace tarn::firmware {
namespace {

struct Vector {
  std::string name;
  std::string message;
  std::string digest;
};

std::string Repeat(const std::string& text, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i)
    out += text;
  return out;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class Sha256Vectors : public testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, WholeAndInPieces) {
  const Vector& vector = GetParam();
  EXPECT_EQ(HexDigest(Sha256Of(Bytes(vector.message))), vector.digest);
  // Pieces that cross the 64-byte blocks at every phase.
  Sha256 hash;
  size_t at = 0;
  for (size_t piece = 1; at < vector.message.size(); piece = piece % 97 + 1) {
    const size_t length = std::min(piece, vector.message.size() - at);
    hash.Update(Bytes(vector.message).subspan(at, length));
    at += length;
  }
  EXPECT_EQ(HexDigest(hash.Finish()), vector.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Nist, Sha256Vectors,
    testing::Values(
        Vector{"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{"two_blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{"four_blocks",
               "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklm"
               "nopqrlmnopqrsmnopqrstnopqrstu",
               "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        Vector{"million_a", Repeat("a", 1000000),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const testing::TestParamInfo<Vector>& info) { return info.param.name; });

}  // namespace
}  // namespace tarn::firmware
