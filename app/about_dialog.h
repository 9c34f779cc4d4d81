// The About box: the icon, the program's name and "OK".
#pragma once

#include <QDialog>

class QLineEdit;

namespace tarn {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

 private:
  QLineEdit* m_text;  // control 1003
};

}  // namespace tarn
