// The dialogs' borderless read-only text fields.
#pragma once

#include <QLineEdit>
#include <QRect>
#include <QString>

namespace tarn {

// A read-only edit without a frame that sits on the dialog's own background, as a text that can
// still be selected and copied.
QLineEdit* MakeReadOnlyEdit(QWidget* parent, const QString& objectName, const QRect& geometry);

}  // namespace tarn
