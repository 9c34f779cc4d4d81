#include "app/about_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "app/app_icon.h"
#include "app/dialog_font.h"
#include "app/dialog_units.h"
#include "app/read_only_edit.h"
#include "resources/product.h"

namespace tarn {

CAboutDlg::CAboutDlg(const std::string& setText, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setFont(DialogFont());
  const DialogUnits units = DialogUnits::FromFont(font());
  setFixedSize(units.toPixelsX(235), units.toPixelsY(60));
  setWindowTitle(QStringLiteral("About Tarn Series Updater"));
  setWindowIcon(AppIcon());

  // Template order is the tab order.
  auto* icon = new QLabel(this);
  const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
  icon->setPixmap(AppIcon().pixmap(iconSize));
  icon->setGeometry(QRect(units.toPixels(11, 17, 0, 0).topLeft(), QSize(iconSize, iconSize)));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setGeometry(units.toPixels(178, 6, 50, 16));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  m_text = MakeReadOnlyEdit(this, QStringLiteral("1003"), units.toPixels(39, 19, 134, 14));
  m_set = MakeReadOnlyEdit(this, QStringLiteral("1007"), units.toPixels(39, 35, 134, 14));
  m_set->setText(QString::fromLocal8Bit(setText));

  // OnInitDialog: the program's name, never with the copy's number.
  m_text->setText(QString::fromLatin1(kProgramTitle));
  ok->setFocus();
}

}  // namespace tarn
