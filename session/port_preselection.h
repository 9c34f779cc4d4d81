// Which MIDI port an updater copy points at by default: the last port whose name is one of the
// preferred device names (with " (n)" appended for copy n > 1).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/product.h"

namespace tarn {

// Entry 0 is the Windows Japanese name of a generic USB audio device in code page 932; names
// are compared byte for byte, so it matches only where the platform reports names in that
// code page.
inline constexpr std::array<const char*, 3> PreferredPortNames{
    "USB \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49 \x83\x66\x83\x6F\x83\x43\x83\x58",
    "USB Audio Device",
    kDeviceName,
};

// The names copy `instanceNumber` looks for.
std::array<std::string, 3> PreferredNamesFor(int32_t instanceNumber);

// Index of the port to preselect in `names`, or -1 when none matches. Exact, case-sensitive,
// whole-name comparison; the last matching port wins.
int32_t PreselectedPort(const std::vector<std::string>& names, int32_t instanceNumber);

}  // namespace tarn
