// The updater's icon, drawn in code at the sizes the desktop asks for.
#pragma once

#include <QIcon>
#include <QImage>
#include <array>

namespace tarn {

inline constexpr std::array<int, 3> kAppIconSizes{16, 32, 48};

// One square image of the icon, `size` pixels wide; sizes below 24 get a simpler drawing
// that stays sharp.
QImage PaintAppIcon(int size);

// The icon at every size of kAppIconSizes.
QIcon AppIcon();

}  // namespace tarn
