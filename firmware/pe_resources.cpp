#include "firmware/pe_resources.h"

#include <algorithm>
#include <optional>
#include <set>

namespace tarn::firmware {
namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint16_t kMaxSections = 96;  // the loader's own limit
// Far beyond any program's resources; keeps the walk short on a hostile file.
constexpr uint64_t kMaxDirectoryEntries = 4096;

// Little-endian reads that fail instead of reading past the end.
class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
  }
  std::optional<uint16_t> U16(uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8);
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(m_bytes[offset]) |
           static_cast<uint32_t>(m_bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(m_bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(m_bytes[offset + 3]) << 24;
  }
  std::span<const uint8_t> Span(uint64_t offset, uint64_t length) const {
    return m_bytes.subspan(offset, length);
  }

 private:
  std::span<const uint8_t> m_bytes;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// The tree is addressed by offsets from its root, and all of it must lie in the raw data of
// the section that holds the root.
class ResourceTree {
 public:
  ResourceTree(const Bytes& file, uint64_t rootOffset, uint64_t length)
      : m_file(file), m_root(rootOffset), m_length(length) {}

  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= m_length && length <= m_length - offset;
  }
  std::optional<uint16_t> U16(uint64_t offset) const {
    return Has(offset, 2) ? m_file.U16(m_root + offset) : std::nullopt;
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    return Has(offset, 4) ? m_file.U32(m_root + offset) : std::nullopt;
  }

  struct Entry {
    uint32_t name;    // an id, or with the high bit the offset of a name string
    uint32_t target;  // with the high bit the offset of a subdirectory, else of a data entry
  };
  // The entries of the directory at `offset`; nothing when it does not fit.
  std::optional<std::vector<Entry>> Directory(uint32_t offset) const {
    const auto named = U16(uint64_t{offset} + 12);
    const auto numbered = U16(uint64_t{offset} + 14);
    if (!named || !numbered) return std::nullopt;
    const uint64_t count = uint64_t{*named} + *numbered;
    if (count > kMaxDirectoryEntries) return std::nullopt;
    const uint64_t first = uint64_t{offset} + kDirectoryHeaderSize;
    if (!Has(first, count * kDirectoryEntrySize)) return std::nullopt;
    std::vector<Entry> entries;
    entries.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t at = first + i * kDirectoryEntrySize;
      entries.push_back({*U32(at), *U32(at + 4)});
    }
    return entries;
  }
  // Whether the name string at `offset` (a length, then UTF-16LE) reads `text`, in any case.
  bool NameIs(uint32_t offset, const char* text) const {
    const auto length = U16(offset);
    const size_t wanted = std::char_traits<char>::length(text);
    if (!length || *length != wanted || !Has(uint64_t{offset} + 2, uint64_t{*length} * 2))
      return false;
    for (size_t i = 0; i < wanted; ++i) {
      const uint16_t c = *U16(uint64_t{offset} + 2 + 2 * i);
      const uint16_t upper = c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
      if (upper != static_cast<uint8_t>(text[i])) return false;
    }
    return true;
  }

 private:
  const Bytes& m_file;
  uint64_t m_root;
  uint64_t m_length;
};

PeResources Damaged(std::string detail) {
  return {PeError::kDamaged, std::move(detail), {}};
}

}  // namespace

PeResources ReadBinResources(std::span<const uint8_t> bytes) {
  const Bytes file(bytes);
  const auto mz = file.U16(0);
  const auto peOffset = file.U32(0x3C);
  if (!mz || *mz != 0x5A4D || !peOffset) return {PeError::kNotWindowsProgram, {}, {}};
  const auto signature = file.U32(*peOffset);
  const uint64_t coff = uint64_t{*peOffset} + 4;
  const auto sectionCount = file.U16(coff + 2);
  const auto optionalSize = file.U16(coff + 16);
  const uint64_t optional = coff + 20;
  const auto magic = file.U16(optional);
  if (!signature || *signature != kPeSignature || !sectionCount || !optionalSize || !magic ||
      (*magic != kPe32Magic && *magic != kPe32PlusMagic)) {
    return {PeError::kNotWindowsProgram, {}, {}};
  }
  // The data directories follow the fields both forms share; PE32+ has wider ones before them.
  const uint64_t countField = optional + (*magic == kPe32Magic ? 92 : 108);
  const auto directoryCount = file.U32(countField);
  const uint64_t directoryAt = countField + 4 + kResourceDirectoryIndex * 8;
  if (!directoryCount || *directoryCount <= kResourceDirectoryIndex ||
      directoryAt + 8 > optional + *optionalSize) {
    return {PeError::kNoBinResources, {}, {}};
  }
  const auto resourceRva = file.U32(directoryAt);
  const auto resourceSize = file.U32(directoryAt + 4);
  if (!resourceRva || !resourceSize) return Damaged("its headers are cut short");
  if (*resourceRva == 0 || *resourceSize == 0) return {PeError::kNoBinResources, {}, {}};

  if (*sectionCount > kMaxSections) return Damaged("it claims too many sections");
  std::vector<Section> sections;
  const uint64_t sectionTable = optional + *optionalSize;
  if (!file.Has(sectionTable, uint64_t{*sectionCount} * kSectionHeaderSize))
    return Damaged("its section table lies outside the file");
  for (uint64_t i = 0; i < *sectionCount; ++i) {
    const uint64_t at = sectionTable + i * kSectionHeaderSize;
    sections.push_back({*file.U32(at + 12), *file.U32(at + 16), *file.U32(at + 20)});
  }
  // A span of the file by its virtual address: all of it inside one section's raw data, and
  // that inside the file. Nothing otherwise.
  const auto map = [&](uint32_t rva,
                       uint64_t length) -> std::optional<std::pair<uint64_t, uint64_t>> {
    for (const Section& section : sections) {
      if (rva < section.virtualAddress) continue;
      const uint64_t into = uint64_t{rva} - section.virtualAddress;
      // An empty resource may end its section.
      if (into > section.rawSize) continue;
      const uint64_t available = section.rawSize - into;
      if (length > available || !file.Has(uint64_t{section.rawOffset} + into, length)) continue;
      // The rest of the section that the file really holds, for a tree walked by offsets.
      const uint64_t inFile =
          std::min<uint64_t>(available, bytes.size() - (section.rawOffset + into));
      return std::pair{uint64_t{section.rawOffset} + into, inFile};
    }
    return std::nullopt;
  };
  const auto root = map(*resourceRva, kDirectoryHeaderSize);
  if (!root) return Damaged("its resource directory lies outside the file");
  const ResourceTree tree(file, root->first, root->second);

  const auto types = tree.Directory(0);
  if (!types) return Damaged("its resource directory is cut short");
  std::optional<uint32_t> binDirectory;
  for (const auto& type : *types) {
    if ((type.name & kHighBit) && (type.target & kHighBit) &&
        tree.NameIs(type.name & ~kHighBit, "BIN")) {
      binDirectory = type.target & ~kHighBit;
      break;
    }
  }
  if (!binDirectory) return {PeError::kNoBinResources, {}, {}};
  const auto names = tree.Directory(*binDirectory);
  if (!names) return Damaged("its BIN resources are cut short");

  PeResources result;
  std::set<uint32_t> seen;
  for (const auto& name : *names) {
    // Named BIN resources are none of ours; an id twice counts once.
    if ((name.name & kHighBit) || !(name.target & kHighBit)) continue;
    if (!seen.insert(name.name).second) continue;
    const std::string what = "BIN resource " + std::to_string(name.name);
    // Any language: the first one the tree lists.
    const auto languages = tree.Directory(name.target & ~kHighBit);
    if (!languages) return Damaged(what + " is cut short");
    if (languages->empty()) continue;
    const auto& language = languages->front();
    // A fourth level is no resource tree.
    if (language.target & kHighBit) return Damaged(what + " is nested too deep");
    const auto dataRva = tree.U32(language.target);
    const auto dataSize = tree.U32(uint64_t{language.target} + 4);
    if (!dataRva || !dataSize || !tree.Has(language.target, kDataEntrySize))
      return Damaged(what + " is cut short");
    const auto data = map(*dataRva, *dataSize);
    if (!data) return Damaged(what + " lies outside the file");
    result.bin.push_back({name.name, file.Span(data->first, *dataSize)});
  }
  if (result.bin.empty()) return {PeError::kNoBinResources, {}, {}};
  return result;
}

}  // namespace tarn::firmware
