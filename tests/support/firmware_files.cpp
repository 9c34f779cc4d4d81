#include "tests/support/firmware_files.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "firmware/catalog.h"

namespace tarn::test {

std::map<int32_t, std::vector<uint8_t>> RandomImages(uint32_t seed) {
  std::mt19937 random(seed);
  std::map<int32_t, std::vector<uint8_t>> images;
  for (const firmware::ImageInfo& info : firmware::kCatalog) {
    std::vector<uint8_t> bytes(info.size);
    for (uint8_t& byte : bytes)
      byte = static_cast<uint8_t>(random());
    images[info.id] = std::move(bytes);
  }
  auto& boot = images[firmware::kBootImageId];
  std::memcpy(boot.data() + boot.size() - 4, "1.05", 4);
  std::memcpy(images[firmware::kVersionBlockId].data() + firmware::kSystemVersionOffset, "3.10", 4);
  return images;
}

void WriteImageFolder(const std::string& folder,
                      const std::map<int32_t, std::vector<uint8_t>>& images) {
  std::filesystem::create_directories(folder);
  for (const auto& [id, bytes] : images) {
    std::ofstream file(folder + "/" + std::to_string(id) + ".bin", std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
}

bool BuildBinProgram(const std::string& folder, const std::string& exe, std::string* error) {
  const std::string prefix = "x86_64-w64-mingw32-";
  if (std::system(("command -v " + prefix + "windres >/dev/null 2>&1 && command -v " + prefix +
                   "gcc >/dev/null 2>&1")
                      .c_str()) != 0) {
    *error = "MinGW's windres or gcc is not installed";
    return false;
  }
  const std::string work = exe + ".build";
  std::filesystem::create_directories(work);
  {
    std::ofstream rc(work + "/set.rc");
    for (const firmware::ImageInfo& info : firmware::kCatalog)
      rc << info.id << " BIN \"" << folder << "/" << info.id << ".bin\"\n";
    std::ofstream source(work + "/main.c");
    source << "int main(void) { return 0; }\n";
  }
  const std::string command = prefix + "windres " + work + "/set.rc -O coff -o " + work +
                              "/set.o && " + prefix + "gcc -s " + work + "/main.c " + work +
                              "/set.o -o " + exe + " 2>" + work + "/log";
  const bool built = std::system(command.c_str()) == 0;
  if (!built) *error = "windres or gcc failed: see " + work + "/log";
  if (built) std::filesystem::remove_all(work);
  return built;
}

}  // namespace tarn::test
