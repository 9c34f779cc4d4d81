// Image sets on disk for the tests of --firmware: a folder of random images with real-looking
// version texts, and the same images inside a Windows program built with MinGW's windres.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarn::test {

// Every catalogue image at its size, random bytes from `seed`, "1.05" at the end of the boot
// image and "3.10" at 0xFE0 of the version block.
std::map<int32_t, std::vector<uint8_t>> RandomImages(uint32_t seed);

// Writes `images` as <folder>/<id>.bin, making the folder.
void WriteImageFolder(const std::string& folder,
                      const std::map<int32_t, std::vector<uint8_t>>& images);

// Builds <exe> from the images in `folder` as resources of type "BIN"; false, with `error`
// set, when MinGW's windres and gcc are not there or fail.
bool BuildBinProgram(const std::string& folder, const std::string& exe, std::string* error);

}  // namespace tarn::test
