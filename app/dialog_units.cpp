#include "app/dialog_units.h"

#include <QFontMetrics>

namespace tarn {
namespace {

// value * numerator / denominator rounded to the nearest integer, halves away from zero.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

}  // namespace

DialogUnits DialogUnits::FromFont(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average over both alphabets, rounded half up, as dialog managers measure it.
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(alphabet / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::toPixelsX(int units) const {
  return MulDiv(units, m_baseX, 4);
}

int DialogUnits::toPixelsY(int units) const {
  return MulDiv(units, m_baseY, 8);
}

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
  return {toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height)};
}

}  // namespace tarn
