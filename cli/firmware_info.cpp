#include "cli/firmware_info.h"

#include <cstdio>

namespace tarn::cli {
namespace {

const char* SourceName(SetSource source) {
  switch (source) {
    case SetSource::kEmbedded:
      return "embedded";
    case SetSource::kFolder:
      return "folder";
    case SetSource::kWindowsProgram:
      return "windows_program";
  }
  return "unknown";
}

}  // namespace

nlohmann::ordered_json SetJson(const FirmwareSet& set, bool images) {
  nlohmann::ordered_json object{{"source", SourceName(set.Source())},
                                {"path", set.Path()},
                                {"stand_in", set.IsStandIn()},
                                {"system_version", set.SystemVersion()},
                                {"boot_version", set.BootVersion()}};
  if (!images) return object;
  object["images"] = nlohmann::ordered_json::array();
  for (const ImageFacts& facts : set.Facts()) {
    object["images"].push_back(
        {{"id", facts.id}, {"size", facts.size}, {"sha256", firmware::HexDigest(facts.sha256)}});
  }
  return object;
}

std::vector<std::string> FirmwareInfoLines(const FirmwareSet& set) {
  std::vector<std::string> lines{
      "source:         " + SourceText(set),
      std::string("stand-in set:   ") +
          (set.IsStandIn() ? "yes (refused on every device but the virtual one)" : "no"),
      "system version: " + set.SystemVersion(), "boot version:   " + set.BootVersion()};
  for (const ImageFacts& facts : set.Facts()) {
    char line[160];
    std::snprintf(line, sizeof line, "image %3d  %8u bytes  sha256 %s", static_cast<int>(facts.id),
                  static_cast<unsigned>(facts.size), firmware::HexDigest(facts.sha256).c_str());
    lines.push_back(line);
  }
  return lines;
}

std::string SetLine(const FirmwareSet& set) {
  return "Firmware: " + DescribeSet(set);
}

}  // namespace tarn::cli
