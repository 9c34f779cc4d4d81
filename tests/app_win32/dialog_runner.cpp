#include "tests/app_win32/dialog_runner.h"

#include <gtest/gtest.h>

#include "app/win32/resource_images.h"
#include "app/win32/updater_dialog.h"
#include "instance/instance_limit.h"
#include "tests/app_win32/window_driver.h"

namespace tarn::test {

DialogRunner::DialogRunner(int32_t instanceNumber, Timing timing) {
  m_thread = std::thread([this, instanceNumber, timing] {
    {
      CT2vVazidavDlg dialog(instanceNumber, ResourceImages(), timing);
      m_threadId = GetCurrentThreadId();
      dialog.DoModal();
    }
    m_ended = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return m_threadId != 0; }));
  // A cold Wine session takes its time over the first window.
  m_window = WaitForWindowOf(m_threadId, InstanceName(instanceNumber), 60s);
  EXPECT_NE(m_window, nullptr) << "the dialog did not come up";
}

bool DialogRunner::WaitEnded(std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return m_ended.load(); }, timeout);
}

DialogRunner::~DialogRunner() {
  if (!m_ended && m_window != nullptr) {
    const std::string title = Text(m_window);
    PostMessageA(m_window, WM_CLOSE, 0, 0);
    WaitUntil(
        [&] {
          if (HWND question = FindBoxOf(m_threadId, title)) Answer(question, IDYES);
          return m_ended.load();
        },
        30s);
  }
  // A dialog that never ends here is a hang: the test has failed already; do not join it.
  if (m_ended) {
    m_thread.join();
  } else {
    ADD_FAILURE() << "the dialog did not end";
    m_thread.detach();
  }
}

}  // namespace tarn::test
