// A small Windows program image in memory: headers, one ".rsrc" section and a resource tree
// with the given resources of type "BIN" (one language each), laid out as linkers do; and the
// offsets of its fields, for the tests that damage them.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace tarn::test {

struct BuiltPe {
  std::vector<uint8_t> bytes;
  size_t optionalHeader = 0;     // the magic
  size_t resourceDirectory = 0;  // its RVA, then its size
  size_t sectionCount = 0;
  size_t typeEntry = 0;       // the root's one entry: name, then target
  size_t firstDataEntry = 0;  // RVA, size, code page, reserved
};

inline void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

inline BuiltPe BuildPe(const std::map<uint32_t, std::vector<uint8_t>>& resources, bool pe32Plus,
                       const char* type = "BIN", uint16_t language = 0x409) {
  constexpr uint32_t kSectionRva = 0x1000;
  constexpr size_t kRawOffset = 0x200;
  BuiltPe pe;
  const size_t peAt = 0x80;
  const size_t optionalSize = pe32Plus ? 240 : 224;
  pe.optionalHeader = peAt + 24;
  const size_t sectionTable = pe.optionalHeader + optionalSize;
  // The tree: root, the type's directory, one language directory per id, the data entries, the
  // type's name, then the data.
  const size_t count = resources.size();
  const size_t typeDirectory = 16 + 8;
  const size_t languageDirectories = typeDirectory + 16 + 8 * count;
  const size_t dataEntries = languageDirectories + 24 * count;
  const size_t name = dataEntries + 16 * count;
  size_t data = (name + 2 + 2 * std::strlen(type) + 15) / 16 * 16;
  size_t treeSize = data;
  for (const auto& [id, bytes] : resources)
    treeSize += (bytes.size() + 7) / 8 * 8;
  pe.bytes.assign(kRawOffset + treeSize, 0);
  auto& b = pe.bytes;
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, peAt);
  Put32(b, peAt, 0x00004550);
  Put16(b, peAt + 4, pe32Plus ? 0x8664 : 0x14C);
  pe.sectionCount = peAt + 6;
  Put16(b, pe.sectionCount, 1);
  Put16(b, peAt + 20, optionalSize);
  Put16(b, pe.optionalHeader, pe32Plus ? 0x20B : 0x10B);
  const size_t directories = pe.optionalHeader + (pe32Plus ? 108 : 92);
  Put32(b, directories, 16);
  pe.resourceDirectory = directories + 4 + 2 * 8;
  Put32(b, pe.resourceDirectory, kSectionRva);
  Put32(b, pe.resourceDirectory + 4, static_cast<uint32_t>(treeSize));
  std::memcpy(&b[sectionTable], ".rsrc", 5);
  Put32(b, sectionTable + 8, static_cast<uint32_t>(treeSize));
  Put32(b, sectionTable + 12, kSectionRva);
  Put32(b, sectionTable + 16, static_cast<uint32_t>(treeSize));
  Put32(b, sectionTable + 20, kRawOffset);

  const size_t root = kRawOffset;
  Put16(b, root + 12, 1);  // one named entry
  pe.typeEntry = root + 16;
  Put32(b, pe.typeEntry, 0x80000000u | static_cast<uint32_t>(name));
  Put32(b, pe.typeEntry + 4, 0x80000000u | static_cast<uint32_t>(typeDirectory));
  Put16(b, root + typeDirectory + 14, static_cast<uint32_t>(count));
  Put16(b, root + name, static_cast<uint32_t>(std::strlen(type)));
  for (size_t i = 0; type[i] != 0; ++i)
    Put16(b, root + name + 2 + 2 * i, static_cast<uint8_t>(type[i]));
  pe.firstDataEntry = root + dataEntries;
  size_t i = 0;
  for (const auto& [id, bytes] : resources) {
    const size_t entry = root + typeDirectory + 16 + 8 * i;
    const size_t languageDirectory = languageDirectories + 24 * i;
    const size_t dataEntry = dataEntries + 16 * i;
    Put32(b, entry, id);
    Put32(b, entry + 4, 0x80000000u | static_cast<uint32_t>(languageDirectory));
    Put16(b, root + languageDirectory + 14, 1);
    Put32(b, root + languageDirectory + 16, language);
    Put32(b, root + languageDirectory + 20, static_cast<uint32_t>(dataEntry));
    Put32(b, root + dataEntry, kSectionRva + static_cast<uint32_t>(data));
    Put32(b, root + dataEntry + 4, static_cast<uint32_t>(bytes.size()));
    // An empty image has no data pointer to copy from.
    if (!bytes.empty()) std::memcpy(&b[root + data], bytes.data(), bytes.size());
    data += (bytes.size() + 7) / 8 * 8;
    ++i;
  }
  return pe;
}

}  // namespace tarn::test
