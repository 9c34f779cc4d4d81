// The font of the updater's dialogs.
#pragma once

#include <QFont>

namespace tarn {

// "MS UI Gothic" at 9 points where it is installed, the system's UI font otherwise.
QFont DialogFont();

}  // namespace tarn
