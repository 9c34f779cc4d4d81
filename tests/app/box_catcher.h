// Watches for message boxes while a test drives the UI: records what each box shows and, unless
// told otherwise, presses its OK button the way a user would.
#pragma once

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <vector>

namespace tarn::testing {

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon;
  QList<QAbstractButton*>::size_type buttons;
  bool okButton;
  QWidget* owner;
  QMessageBox::StandardButton defaultButton;
};

class BoxCatcher {
 public:
  // Boxes without "OK" (the stop question) are answered with `answer`.
  explicit BoxCatcher(bool dismiss = true, QMessageBox::StandardButton answer = QMessageBox::No)
      : m_dismiss(dismiss), m_answer(answer) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(5);
  }

  const std::vector<SeenBox>& seen() const { return m_seen; }
  // The box on screen now, if any.
  QMessageBox* open() const { return m_open; }

 private:
  void Poll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (box == nullptr || !box->isVisible()) continue;
      if (box != m_open) {
        m_open = box;
        m_seen.push_back({box->windowTitle(), box->text(), box->icon(), box->buttons().size(),
                          box->button(QMessageBox::Ok) != nullptr, box->parentWidget(),
                          box->standardButton(box->defaultButton())});
      }
      if (m_dismiss) {
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        (ok != nullptr ? ok : box->button(m_answer))->click();
        m_open = nullptr;
      }
      return;
    }
    m_open = nullptr;
  }

  bool m_dismiss;
  QMessageBox::StandardButton m_answer;
  QTimer m_timer;
  std::vector<SeenBox> m_seen;
  QPointer<QMessageBox> m_open;
};

}  // namespace tarn::testing
