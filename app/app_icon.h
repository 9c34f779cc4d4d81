// The updater's icon for Qt, from the one drawing (app/icon/icon_drawing.h).
#pragma once

#include <QIcon>
#include <QImage>

#include "app/icon/icon_drawing.h"

namespace tarn {

// One square image of the icon, `size` pixels wide.
QImage PaintAppIcon(int size);

// The icon at every size of kAppIconSizes.
QIcon AppIcon();

}  // namespace tarn
