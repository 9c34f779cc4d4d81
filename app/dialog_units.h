// Dialog units to pixels, the way dialog templates measure their controls: a horizontal unit is
// a quarter of the font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

namespace tarn {

class DialogUnits {
 public:
  // Base units in pixels: average character width and character height.
  DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}
  static DialogUnits FromFont(const QFont& font);

  int baseX() const { return m_baseX; }
  int baseY() const { return m_baseY; }

  int toPixelsX(int units) const;
  int toPixelsY(int units) const;
  QRect toPixels(int x, int y, int width, int height) const;

 private:
  int m_baseX;
  int m_baseY;
};

}  // namespace tarn
