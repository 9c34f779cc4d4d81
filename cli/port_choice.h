// Which MIDI port the command line means: by index, by exact product name, or the port the
// dialog would preselect.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn::cli {

enum class PortDirection { kIn, kOut };

struct PortChoice {
  int32_t index = -1;
  std::string error;  // set when no single port fits; then index is -1
};

// `request` is what the user typed after --in/--out; none picks the preselected port of
// copy 1. An index wins over a port named like a number only while it is in range.
PortChoice ChoosePort(PortDirection direction, const std::optional<std::string>& request,
                      const std::vector<std::string>& names);

// One line per port: direction, index, product name, and "*" on the preselected one.
std::vector<std::string> PortListLines(const std::vector<std::string>& inputs,
                                       const std::vector<std::string>& outputs);

}  // namespace tarn::cli
