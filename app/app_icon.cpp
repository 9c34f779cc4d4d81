#include "app/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarn {
namespace {

const QColor kLakeTop(0x35, 0x9c, 0xd0);
const QColor kLakeBottom(0x12, 0x4e, 0x86);
const QColor kChip(0xf4, 0xf7, 0xfa);
const QColor kArrow(0x12, 0x4e, 0x86);

void PaintBackground(QPainter& painter, qreal size) {
  QLinearGradient lake(0, 0, 0, size);
  lake.setColorAt(0, kLakeTop);
  lake.setColorAt(1, kLakeBottom);
  painter.setPen(Qt::NoPen);
  painter.setBrush(lake);
  const qreal margin = size / 48.0;
  painter.drawRoundedRect(QRectF(margin, margin, size - 2 * margin, size - 2 * margin), size * 0.18,
                          size * 0.18);
}

// A down arrow onto a bar: new firmware going into the device.
QPainterPath DownArrow(qreal left, qreal top, qreal width, qreal height) {
  const qreal shaft = width * 0.36;
  const qreal headTop = top + height * 0.38;
  const qreal tip = top + height * 0.78;
  const qreal bar = height * 0.14;
  QPainterPath path;
  path.moveTo(left + (width - shaft) / 2, top);
  path.lineTo(left + (width + shaft) / 2, top);
  path.lineTo(left + (width + shaft) / 2, headTop);
  path.lineTo(left + width, headTop);
  path.lineTo(left + width / 2, tip);
  path.lineTo(left, headTop);
  path.lineTo(left + (width - shaft) / 2, headTop);
  path.closeSubpath();
  path.addRect(QRectF(left, top + height - bar, width, bar));
  return path;
}

// Small sizes: the arrow alone, on whole pixels.
void PaintSmall(QPainter& painter, int size) {
  PaintBackground(painter, size);
  painter.setBrush(kChip);
  const qreal unit = size / 16.0;
  painter.drawPath(DownArrow(4 * unit, 3 * unit, 8 * unit, 10 * unit));
}

// Edges on whole pixels, so thin parts stay sharp.
QRectF Snapped(const QRectF& rect) {
  return QRectF(QPointF(qRound(rect.left()), qRound(rect.top())),
                QPointF(qRound(rect.right()), qRound(rect.bottom())));
}

// Larger sizes: a flash chip with pins, the arrow on it.
void PaintLarge(QPainter& painter, int size) {
  PaintBackground(painter, size);
  const qreal unit = size / 48.0;
  const QRectF chip = Snapped(QRectF(13 * unit, 11 * unit, 22 * unit, 26 * unit));
  painter.setBrush(kChip);
  for (int pin = 0; pin < 4; ++pin) {
    const qreal y = chip.top() + (3 + pin * 6) * unit;
    painter.drawRect(Snapped(QRectF(chip.left() - 5 * unit, y, 5 * unit, 2.5 * unit)));
    painter.drawRect(Snapped(QRectF(chip.right(), y, 5 * unit, 2.5 * unit)));
  }
  painter.drawRoundedRect(chip, 2.5 * unit, 2.5 * unit);
  painter.setBrush(kArrow);
  painter.drawPath(DownArrow(chip.left() + 5 * unit, chip.top() + 4 * unit, 12 * unit, 18 * unit));
}

}  // namespace

QImage PaintAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  if (size < 24) {
    PaintSmall(painter, size);
  } else {
    PaintLarge(painter, size);
  }
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : kAppIconSizes)
    icon.addPixmap(QPixmap::fromImage(PaintAppIcon(size)));
  return icon;
}

}  // namespace tarn
