#include "app/dialog_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace tarn {

QFont DialogFont() {
  const QString family = QStringLiteral("MS UI Gothic");
  if (QFontDatabase::families().contains(family)) return QFont(family, 9);
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

}  // namespace tarn
