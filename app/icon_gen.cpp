// Writes the icon as PNG files for installation: icon_gen FOLDER writes FOLDER/<size>.png.
#include <QString>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  for (const int size : tarn::kAppIconSizes) {
    const QString path = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1.png").arg(size);
    if (!tarn::PaintAppIcon(size).save(path, "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
      return 1;
    }
  }
  return 0;
}
