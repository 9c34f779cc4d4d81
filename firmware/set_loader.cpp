#include "firmware/set_loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "firmware/catalog.h"
#include "firmware/pe_resources.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

// Far more than a program carrying the set ever needs; a larger file is read no further.
constexpr uint64_t kMaxFileSize = 256ull << 20;

std::string Prefix(const std::string& path) {
  return "--firmware " + path + ": ";
}

std::string ImageText(int32_t id) {
  return "image " + std::to_string(id);
}

// The whole file, or nothing with `error` set.
std::shared_ptr<std::vector<uint8_t>> ReadFile(const fs::path& path, uint64_t limit,
                                               std::string* error) {
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) {
    *error = std::strerror(errno);
    return nullptr;
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes->size() + got > limit) {
      std::fclose(file);
      *error = "larger than " + std::to_string(limit) + " bytes";
      return nullptr;
    }
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "read error";
    return nullptr;
  }
  return bytes;
}

LoadedSet FromFolder(const std::string& path) {
  auto storage = std::make_shared<std::vector<uint8_t>>();
  std::vector<std::pair<int32_t, size_t>> offsets;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const std::string name = std::to_string(info.id) + ".bin";
    const fs::path file = fs::path(path) / name;
    std::error_code status;
    if (!fs::exists(file, status))
      return {nullptr, Prefix(path) + ImageText(info.id) + " is missing (no " + name + ")"};
    // A file of another size is not read at all.
    const uintmax_t size = fs::file_size(file, status);
    if (!status && size != info.size) {
      return {nullptr, Prefix(path) + ImageText(info.id) + " is " + std::to_string(size) +
                           " bytes; it must be " + std::to_string(info.size)};
    }
    std::string error;
    const auto bytes = ReadFile(file, info.size, &error);
    if (!bytes) {
      return {nullptr,
              Prefix(path) + ImageText(info.id) + " (" + name + ") cannot be read: " + error};
    }
    offsets.emplace_back(info.id, storage->size());
    storage->insert(storage->end(), bytes->begin(), bytes->end());
  }
  std::vector<FirmwareSet::Image> images;
  for (size_t i = 0; i < offsets.size(); ++i) {
    const size_t end = i + 1 < offsets.size() ? offsets[i + 1].second : storage->size();
    images.push_back({offsets[i].first, std::span<const uint8_t>(*storage).subspan(
                                            offsets[i].second, end - offsets[i].second)});
  }
  return {std::make_unique<FirmwareSet>(SetSource::kFolder, path, std::move(images), storage), {}};
}

LoadedSet FromProgram(const std::string& path) {
  std::string error;
  const auto bytes = ReadFile(path, kMaxFileSize, &error);
  if (!bytes) return {nullptr, Prefix(path) + "cannot be read: " + error};
  const firmware::PeResources resources = firmware::ReadBinResources(*bytes);
  switch (resources.error) {
    case firmware::PeError::kNotWindowsProgram:
      return {nullptr, Prefix(path) + "not a folder of images and not a Windows program"};
    case firmware::PeError::kNoBinResources:
      return {nullptr, Prefix(path) + "a Windows program without BIN resources"};
    case firmware::PeError::kDamaged:
      return {nullptr, Prefix(path) + "a damaged Windows program: " + resources.detail};
    case firmware::PeError::kNone:
      break;
  }
  std::vector<FirmwareSet::Image> images;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const auto found = std::find_if(
        resources.bin.begin(), resources.bin.end(),
        [&info](const auto& resource) { return resource.id == static_cast<uint32_t>(info.id); });
    if (found == resources.bin.end()) {
      return {nullptr, Prefix(path) + ImageText(info.id) + " is missing (no BIN resource " +
                           std::to_string(info.id) + ")"};
    }
    images.push_back({info.id, found->bytes});
  }
  return {std::make_unique<FirmwareSet>(SetSource::kWindowsProgram, path, std::move(images), bytes),
          {}};
}

}  // namespace

std::string SetProblem(const FirmwareSet& set, const std::string& where) {
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    const auto image = set.Find(info.id);
    if (!image) return where + ImageText(info.id) + " is missing";
    if (image->size() != info.size) {
      return where + ImageText(info.id) + " is " + std::to_string(image->size()) +
             " bytes; it must be " + std::to_string(info.size);
    }
  }
  const std::pair<int32_t, const std::string*> versions[] = {
      {firmware::kBootImageId, &set.BootVersion()},
      {firmware::kVersionBlockId, &set.SystemVersion()}};
  for (const auto& [id, text] : versions) {
    if (IsVersionText(*text)) continue;
    std::string shown;
    for (const char c : *text)
      shown += c >= 0x20 && c <= 0x7E ? c : '?';
    return where + ImageText(id) + " carries the version text \"" + shown +
           "\", not one of the form d.dd";
  }
  return {};
}

LoadedSet LoadFirmwareSet(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status))
    return {nullptr,
            Prefix(path) + "cannot be read: " + (error ? error.message() : "no such file")};
  LoadedSet loaded = fs::is_directory(status) ? FromFolder(path) : FromProgram(path);
  if (!loaded.set) return loaded;
  if (std::string problem = SetProblem(*loaded.set, Prefix(path)); !problem.empty())
    return {nullptr, std::move(problem)};
  return loaded;
}

}  // namespace tarn
