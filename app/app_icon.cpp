#include "app/app_icon.h"

#include <QPixmap>

namespace tarn {

QImage PaintAppIcon(int size) {
  const RgbaImage drawn = DrawAppIcon(size);
  // copy(): the QImage must own its pixels once `drawn` is gone.
  return QImage(drawn.pixels.data(), drawn.size, drawn.size, drawn.size * 4,
                QImage::Format_RGBA8888)
      .copy();
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : kAppIconSizes)
    icon.addPixmap(QPixmap::fromImage(PaintAppIcon(size)));
  return icon;
}

}  // namespace tarn
