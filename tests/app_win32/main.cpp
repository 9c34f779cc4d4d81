// The Win32 dialog's tests: the common controls registered once, as start-up does.
#include <gtest/gtest.h>

#include "app/win32/common_controls.h"

int main(int argc, char** argv) {
  tarn::InitCommonControlClasses();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
