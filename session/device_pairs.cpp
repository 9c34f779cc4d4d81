#include "session/device_pairs.h"

#include <algorithm>

#include "instance/instance_limit.h"
#include "session/port_preselection.h"

namespace tarn {

int32_t CopyNumberOf(const std::string& name) {
  for (int32_t number = 1; number <= kMaxInstances; ++number) {
    const auto names = PreferredNamesFor(number);
    if (std::find(names.begin(), names.end(), name) != names.end()) return number;
  }
  return 0;
}

std::vector<DevicePair> FindDevicePairs(const std::vector<platform::PortIdentity>& inputs,
                                        const std::vector<platform::PortIdentity>& outputs) {
  struct Found {
    int32_t number;
    DevicePair pair;
  };
  std::vector<Found> found;
  std::vector<std::string> taken;
  for (size_t out = 0; out < outputs.size(); ++out) {
    const platform::PortIdentity& output = outputs[out];
    const int32_t number = CopyNumberOf(output.name);
    if (number == 0) continue;
    if (std::find(taken.begin(), taken.end(), output.device) != taken.end()) continue;
    const auto input = std::find_if(
        inputs.begin(), inputs.end(),
        [&output](const platform::PortIdentity& in) { return in.device == output.device; });
    if (input == inputs.end()) continue;
    taken.push_back(output.device);
    found.push_back(
        {number,
         {output.name, static_cast<int32_t>(input - inputs.begin()), static_cast<int32_t>(out)}});
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.number < b.number; });
  std::vector<DevicePair> pairs;
  for (Found& entry : found)
    pairs.push_back(std::move(entry.pair));
  return pairs;
}

}  // namespace tarn
