#include "session/port_preselection.h"

#include <algorithm>

namespace tarn {

std::array<std::string, 3> PreferredNamesFor(int32_t instanceNumber) {
  std::array<std::string, 3> names;
  for (size_t i = 0; i < names.size(); ++i) {
    names[i] = PreferredPortNames[i];
    if (instanceNumber != 1) names[i] += " (" + std::to_string(instanceNumber) + ")";
  }
  return names;
}

int32_t PreselectedPort(const std::vector<std::string>& names, int32_t instanceNumber) {
  const auto preferred = PreferredNamesFor(instanceNumber);
  int32_t selected = -1;
  for (size_t index = 0; index < names.size(); ++index) {
    if (std::find(preferred.begin(), preferred.end(), names[index]) != preferred.end()) {
      selected = static_cast<int32_t>(index);
    }
  }
  return selected;
}

}  // namespace tarn
