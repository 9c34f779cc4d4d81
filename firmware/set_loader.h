// A firmware set given at run time (--firmware PATH): a folder holding 129.bin ... 142.bin, or a
// Windows program carrying the images as resources of type "BIN". Checked as a whole before
// any port is opened.
#pragma once

#include <memory>
#include <string>

#include "firmware/firmware_set.h"

namespace tarn {

struct LoadedSet {
  std::unique_ptr<FirmwareSet> set;  // none: `error` says why
  std::string error;                 // names the path, the image and the reason
};

LoadedSet LoadFirmwareSet(const std::string& path);

// Why `set` cannot be written to a device: an image missing or not of its catalogue size, a
// version text not of the form d.dd. Empty when it can. `where` names the set in the text.
std::string SetProblem(const FirmwareSet& set, const std::string& where);

}  // namespace tarn
