#include "app/read_only_edit.h"

#include <QPalette>

namespace tarn {

QLineEdit* MakeReadOnlyEdit(QWidget* parent, const QString& objectName, const QRect& geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(objectName);
  edit->setReadOnly(true);
  edit->setFrame(false);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit->setPalette(palette);
  edit->setGeometry(geometry);
  return edit;
}

}  // namespace tarn
