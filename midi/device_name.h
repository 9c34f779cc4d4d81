// A device's product name as WinMM's capability query reports it: the one copy behind both
// ports' device lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "midi/platform/winmm.h"

namespace tarn {

// What a device name may take, terminator included.
inline constexpr int32_t kDeviceNameCapacity = 40;

// Writes the product name of device `index`, as `describe` (midiInGetDevCapsA or
// midiOutGetDevCapsA) reports it, into `name`, which holds kDeviceNameCapacity bytes: 1, or 0
// and an empty name for an index the platform rejects. The platform's field need not be
// terminated when the name fills it.
template <typename Caps, typename Describe>
int32_t CopyDeviceName(Describe describe, int32_t index, char* name) {
  Caps caps{};
  const bool known = describe(static_cast<UINT_PTR>(static_cast<UINT>(index)), &caps,
                              sizeof caps) == MMSYSERR_NOERROR;
  // Bounded by the field as well: GCC cannot see strnlen's bound on MinGW and warns.
  const size_t length = known ? std::min({strnlen(caps.szPname, sizeof caps.szPname),
                                          sizeof caps.szPname, size_t{kDeviceNameCapacity - 1}})
                              : 0;
  std::memcpy(name, caps.szPname, length);
  name[length] = '\0';
  return known ? 1 : 0;
}

}  // namespace tarn
