// The product's names, each defined once: the device this program updates (also the name of
// the loopback and simulated devices, which stand in for it) and the program's own title.
#pragma once

namespace tarn {

inline constexpr char kDeviceName[] = "DAXO Tarn Series";
inline constexpr char kProgramTitle[] = "DAXO R5x System v2.00 Updater";

}  // namespace tarn
