// The resource reader over arbitrary files: it must never read outside them, and whatever it
// finds lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "firmware/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact copy: AddressSanitizer reports any read past its end.
  const std::vector<uint8_t> file(data, data + size);
  const tarn::firmware::PeResources read = tarn::firmware::ReadBinResources(file);
  for (const tarn::firmware::PeResource& resource : read.bin) {
    const uint8_t* begin = resource.bytes.data();
    if (!resource.bytes.empty() &&
        (begin < file.data() || begin + resource.bytes.size() > file.data() + file.size())) {
      std::abort();
    }
  }
  if (read.error != tarn::firmware::PeError::kNone && !read.bin.empty()) std::abort();
  return 0;
}
