// The About box: the icon, the program's name, the image set's system version (and whether it
// is the stand-in set) and "OK".
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace tarn {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(const std::string& setText, QWidget* parent = nullptr);

 private:
  QLineEdit* m_text;  // control 1003
  QLineEdit* m_set;   // the image set's line
};

}  // namespace tarn
