// Writes the updater's icon as an .ico file: ico_gen FILE. Nine images from the one drawing:
// 48, 32 and 16 pixels, each with 16 colours, 256 colours and 24 bits.
#include <cstdio>
#include <vector>

#include "app/icon/ico_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::vector<tarn::IcoEntry> entries;
  for (const int size : {48, 32, 16}) {
    for (const int bits : {4, 8, 24})
      entries.push_back({tarn::DrawAppIcon(size), bits});
  }
  const std::vector<uint8_t> file = tarn::EncodeIco(entries);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
