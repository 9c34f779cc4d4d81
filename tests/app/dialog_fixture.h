// A virtual Tarn device behind the loopback ports, and the Qt updater dialog in front of it, with
// the engine's waits shortened (never its retry counts).
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <memory>

#include "app/updater_dialog.h"
#include "firmware/embedded_images.h"
#include "sim/virtual_device.h"
#include "tests/support/dialog_controls.h"
#include "tests/support/product_loopback.h"
#include "tests/support/test_timing.h"

namespace tarn::testing {

using namespace std::chrono_literals;
using test::FastTiming;

using test::Controls;
using test::kCompleted;
using test::kIdle;
using test::kUpdating;

class DialogTest : public ::testing::Test {
 protected:
  template <typename Dialog = CT2vVazidavDlg>
  std::unique_ptr<Dialog> Open(int32_t instanceNumber = 1,
                               const FirmwareSet& images = EmbeddedImages()) {
    auto dialog = std::make_unique<Dialog>(instanceNumber, images, FastTiming());
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }

  template <typename Widget>
  static Widget* Find(QWidget& dialog, const char* id) {
    auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
  }

  static Controls State(QWidget& dialog) {
    return {Find<QComboBox>(dialog, "1000")->isEnabled(),
            Find<QComboBox>(dialog, "1001")->isEnabled(),
            Find<QPushButton>(dialog, "1")->isEnabled(),
            Find<QPushButton>(dialog, "1004")->isEnabled()};
  }

  static void Click(QWidget& dialog, const char* id) {
    QTest::mouseClick(Find<QPushButton>(dialog, id), Qt::LeftButton);
  }

  static QString Status(QWidget& dialog) { return Find<QLineEdit>(dialog, "1003")->text(); }

  sim::VirtualDevice m_device;
  test::ProductLoopback m_loopback{m_device};
};

}  // namespace tarn::testing
