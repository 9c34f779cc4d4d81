// The resources of type "BIN" in a Windows program (PE32 or PE32+), read from its bytes alone.
// The file is untrusted: every offset and size is checked against the file before it is read,
// the walk goes no deeper than the three levels of a resource tree (type, id, language) and
// keeps at most one entry per id.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn::firmware {

enum class PeError {
  kNone,
  kNotWindowsProgram,  // no MZ and PE headers, or not PE32/PE32+
  kNoBinResources,     // a program, but without a resource of type "BIN"
  kDamaged,            // headers or resource tree point outside the file
};

struct PeResource {
  uint32_t id = 0;
  std::span<const uint8_t> bytes;  // inside the file given
};

struct PeResources {
  PeError error = PeError::kNone;
  std::string detail;  // what was wrong, for kDamaged
  // Every numbered "BIN" resource, its first language; in the order of the tree.
  std::vector<PeResource> bin;
};

PeResources ReadBinResources(std::span<const uint8_t> file);

}  // namespace tarn::firmware
