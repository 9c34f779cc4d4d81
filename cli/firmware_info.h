// --firmware-info: the image set an update would write, as lines or as one JSON object; and
// the set as the first line of every update names it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "firmware/firmware_set.h"

namespace tarn::cli {

// Source, path, stand-in or not, both versions; with `images` also each image's id, size and
// SHA-256.
nlohmann::ordered_json SetJson(const FirmwareSet& set, bool images);
std::vector<std::string> FirmwareInfoLines(const FirmwareSet& set);
// The first line of an update's progress and the trace file's header.
std::string SetLine(const FirmwareSet& set);

}  // namespace tarn::cli
