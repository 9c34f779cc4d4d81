// The devices an update of all of them takes: an input and an output port of one device whose
// name is a preferred name, alone or followed by " (n)" for n = 2..20.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi/platform/platform.h"

namespace tarn {

struct DevicePair {
  std::string name;  // the output port's name
  int32_t input = -1;
  int32_t output = -1;
};

// One pair per device, in the order of the copy numbers their names carry (the plain name
// first), then in port order. Of a device with several ports the first of each kind is taken.
std::vector<DevicePair> FindDevicePairs(const std::vector<platform::PortIdentity>& inputs,
                                        const std::vector<platform::PortIdentity>& outputs);

// The copy number `name` carries: 1 for a preferred name alone, n for one followed by " (n)"
// with n = 2..20; 0 for any other name.
int32_t CopyNumberOf(const std::string& name);

}  // namespace tarn
