// Which of the four controls that an update locks are enabled ("Exit" is never locked), as the
// tests of every dialog read them.
#pragma once

#include <ostream>

namespace tarn::test {

struct Controls {
  bool midiIn, midiOut, execute, rescan;
  bool operator==(const Controls&) const = default;
};
inline constexpr Controls kIdle{true, true, true, true};
inline constexpr Controls kUpdating{false, false, false, false};
inline constexpr Controls kCompleted{true, true, false, true};

inline std::ostream& operator<<(std::ostream& out, const Controls& c) {
  return out << "{in " << c.midiIn << ", out " << c.midiOut << ", execute " << c.execute
             << ", rescan " << c.rescan << "}";
}

}  // namespace tarn::test
