#include "sysex/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardCount = 16;

Bytes Random(size_t count, uint32_t seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes bytes(count);
  for (auto& b : bytes)
    b = static_cast<uint8_t>(byte(generator));
  return bytes;
}

// The common CRC-32 computed bit by bit, independent of the table.
uint32_t CommonCrc32(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
  }
  return ~crc;
}

// Runs Pack7 into a buffer with guard bytes after the expected extent; checks none is touched.
Bytes PackChecked(const Bytes& raw, int32_t length) {
  const size_t expected = static_cast<size_t>(PackedLength(length));
  Bytes buffer(expected + kGuardCount, kGuard);
  const int32_t written = Pack7(buffer.data(), raw.data(), length);
  EXPECT_EQ(written, static_cast<int32_t>(expected));
  for (size_t i = expected; i < buffer.size(); ++i)
    EXPECT_EQ(buffer[i], kGuard) << "byte " << i;
  buffer.resize(expected);
  return buffer;
}

// Runs Unpack7 from an exactly sized source (so a sanitizer sees any read past it) into a
// buffer with guard bytes after the raw count that the packed length stands for.
Bytes UnpackChecked(const Bytes& packed) {
  const auto packedLength = static_cast<int32_t>(packed.size());
  const size_t expected = static_cast<size_t>(UnpackedLength(packedLength));
  Bytes source(packed);
  Bytes buffer(expected + kGuardCount, kGuard);
  const int32_t written = Unpack7(buffer.data(), source.data(), packedLength);
  EXPECT_EQ(written, static_cast<int32_t>(expected));
  for (size_t i = expected; i < buffer.size(); ++i)
    EXPECT_EQ(buffer[i], kGuard) << "byte " << i;
  buffer.resize(expected);
  return buffer;
}

struct PackExample {
  Bytes raw;
  Bytes packed;
};

const PackExample kPackExamples[] = {
    {{0x61, 0x62, 0x63}, {0x00, 0x61, 0x62, 0x63}},
    {{0x80, 0x01, 0xFF}, {0x50, 0x00, 0x01, 0x7F}},
    {{0x10, 0x90, 0x20, 0xA0, 0x30, 0xB0}, {0x2A, 0x10, 0x10, 0x20, 0x20, 0x30, 0x30}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F}},
    {{0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},
     {0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x40, 0x08}},
};

TEST(Pack7, WorkedExamplesPackAndUnpackExactly) {
  for (const auto& example : kPackExamples) {
    const auto length = static_cast<int32_t>(example.raw.size());
    EXPECT_EQ(PackChecked(example.raw, length), example.packed);
    EXPECT_EQ(UnpackChecked(example.packed), example.raw);
  }
}

TEST(Pack7, NothingIsWrittenForZeroOrNegativeLength) {
  const Bytes raw{0x81, 0x02};
  for (int32_t length : {0, -1, -7, -8, INT32_MIN}) {
    Bytes buffer(kGuardCount, kGuard);
    EXPECT_EQ(Pack7(buffer.data(), raw.data(), length), 0) << length;
    EXPECT_EQ(buffer, Bytes(kGuardCount, kGuard)) << length;
    EXPECT_EQ(PackedLength(length), 0) << length;
  }
}

TEST(Unpack7, NothingIsWrittenForZeroOrNegativePackedLength) {
  const Bytes packed{0x40, 0x01};
  for (int32_t packedLength : {0, -1, -8, INT32_MIN}) {
    Bytes buffer(kGuardCount, kGuard);
    EXPECT_EQ(Unpack7(buffer.data(), packed.data(), packedLength), 0) << packedLength;
    EXPECT_EQ(buffer, Bytes(kGuardCount, kGuard)) << packedLength;
    EXPECT_EQ(UnpackedLength(packedLength), 0) << packedLength;
  }
}

TEST(PackedLength, CountsHeaderPerGroupWithoutEmptyGroups) {
  const struct {
    int32_t raw;
    int32_t packed;
  } cases[] = {{1, 2},   {4, 5},   {6, 7},       {7, 8},        {8, 10},
               {13, 15}, {14, 16}, {4096, 4682}, {16383, 18724}};
  for (const auto& c : cases) {
    EXPECT_EQ(PackedLength(c.raw), c.packed) << c.raw;
    EXPECT_EQ(UnpackedLength(c.packed), c.raw) << c.packed;
  }
}

TEST(PackedLength, UnpackedLengthInvertsItForEveryTwoGroupLength) {
  for (int32_t n = 0; n <= 16383; ++n)
    ASSERT_EQ(UnpackedLength(PackedLength(n)), n) << n;
}

TEST(Unpack7, HeaderAloneAtTheEndStandsForNoBytes) {
  for (int32_t q : {0, 1, 2, 5}) {
    const Bytes raw = Random(static_cast<size_t>(7 * q), static_cast<uint32_t>(q));
    Bytes packed = PackChecked(raw, 7 * q);
    packed.push_back(0x7F);  // a trailing header whose flags name bytes that are not there
    EXPECT_EQ(UnpackChecked(packed), raw) << "q = " << q;
  }
}

TEST(Unpack7, IgnoresBit7OfTheHeader) {
  const Bytes plain{0x2A, 0x10, 0x10, 0x20, 0x20, 0x30, 0x30};
  Bytes marked = plain;
  marked[0] |= 0x80;
  EXPECT_EQ(UnpackChecked(marked), UnpackChecked(plain));
  EXPECT_EQ(UnpackChecked(Bytes{0x80, 0x01, 0x02}), (Bytes{0x01, 0x02}));
}

TEST(Unpack7, NeverClearsBit7OfADataByte) {
  EXPECT_EQ(UnpackChecked(Bytes{0x00, 0xC1, 0x02}), (Bytes{0xC1, 0x02}));
  EXPECT_EQ(UnpackChecked(Bytes{0x40, 0x81, 0x02}), (Bytes{0x81, 0x02}));
}

TEST(Pack7, RoundTripsRandomDataOfEveryLength) {
  std::vector<int32_t> lengths;
  for (int32_t n = 0; n <= 100; ++n)
    lengths.push_back(n);
  lengths.push_back(4096);
  for (int32_t n : lengths) {
    const Bytes raw = Random(static_cast<size_t>(n), 1000u + static_cast<uint32_t>(n));
    const Bytes packed = PackChecked(raw, n);
    for (uint8_t b : packed)
      ASSERT_LT(b, 0x80) << "length " << n;
    EXPECT_EQ(UnpackChecked(packed), raw) << "length " << n;
  }
}

struct Encode35Example {
  uint32_t value;
  Bytes encoded;
};

TEST(Encode35, WorkedExamplesAndExactExtent) {
  const Encode35Example examples[] = {
      {0x1000, {0x00, 0x20, 0x00, 0x00, 0x00}},     {0xCADBBE3D, {0x3D, 0x7C, 0x6E, 0x56, 0x0C}},
      {0xFFFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F}}, {0x12345678, {0x78, 0x2C, 0x51, 0x11, 0x01}},
      {0, {0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const auto& example : examples) {
    Bytes buffer(5 + kGuardCount, kGuard);
    Encode35(example.value, buffer.data());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), example.encoded) << example.value;
    EXPECT_EQ(Bytes(buffer.begin() + 5, buffer.end()), Bytes(kGuardCount, kGuard));
    EXPECT_EQ(Decode35(example.encoded.data()), example.value);
  }
}

TEST(Decode35, MasksBitsThatDoNotBelongToTheNumber) {
  const struct {
    Bytes encoded;
    uint32_t value;
  } cases[] = {
      {{0xFF, 0x80, 0x80, 0x80, 0x10}, 0x7F},
      {{0x80, 0x80, 0x80, 0x80, 0xFF}, 0xF0000000},
      {{0x00, 0x00, 0x00, 0x00, 0x70}, 0},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Decode35(c.encoded.data()), c.value);
}

TEST(Encode35, RoundTripsAndStaysBelow0x80) {
  std::mt19937 generator(35);
  std::vector<uint32_t> values{0,      1,          0x7F,       0x80,       0x3FFF,
                               0x4000, 0x0FFFFFFF, 0x10000000, 0x80000000, 0xFFFFFFFF};
  for (int i = 0; i < 10000; ++i)
    values.push_back(static_cast<uint32_t>(generator()));
  for (uint32_t value : values) {
    uint8_t encoded[5];
    Encode35(value, encoded);
    for (uint8_t b : encoded)
      ASSERT_LT(b, 0x80) << value;
    ASSERT_EQ(Decode35(encoded), value);
  }
}

TEST(Crc32Raw, WorkedExamplesAreTheComplementOfTheCommonCrc) {
  const struct {
    std::string text;
    uint32_t raw;
    uint32_t common;
  } cases[] = {
      {"", 0xFFFFFFFF, 0x00000000},
      {"abc", 0xCADBBE3D, 0x352441C2},
      {"123456789", 0x340BC6D9, 0xCBF43926},
  };
  for (const auto& c : cases) {
    const Bytes bytes(c.text.begin(), c.text.end());
    EXPECT_EQ(Crc32Raw(bytes.data(), static_cast<uint32_t>(bytes.size())), c.raw) << c.text;
    EXPECT_EQ(CommonCrc32(bytes), c.common) << c.text;
  }
}

TEST(Crc32Step, TableEntriesAreThoseOfTheReflectedPolynomial) {
  // From a zero CRC one step yields the table entry for the byte itself.
  EXPECT_EQ(Crc32Step(0, 0), 0u);
  EXPECT_EQ(Crc32Step(0, 1), 0x77073096u);
  EXPECT_EQ(Crc32Step(0, 255), 0x2D02EF8Du);
  for (uint32_t b = 0; b < 256; ++b) {
    const uint32_t crc = 0xFFFFFFFFu;
    const Bytes one{static_cast<uint8_t>(b)};
    EXPECT_EQ(~Crc32Step(crc, static_cast<uint8_t>(b)), CommonCrc32(one)) << b;
  }
}

TEST(Crc32Raw, ComplementMatchesTheCommonCrcForRandomData) {
  for (size_t n : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 255u, 4095u, 4096u}) {
    const Bytes raw = Random(n, static_cast<uint32_t>(n));
    EXPECT_EQ(~Crc32Raw(raw.data(), static_cast<uint32_t>(n)), CommonCrc32(raw)) << n;
  }
}

TEST(Crc32Raw, ReadsOnlyTheCountedBytes) {
  const Bytes abcd{'a', 'b', 'c', 'd'};
  EXPECT_EQ(Crc32Raw(abcd.data(), 3), 0xCADBBE3Du);
  EXPECT_EQ(Crc32Raw(abcd.data(), 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tarn
