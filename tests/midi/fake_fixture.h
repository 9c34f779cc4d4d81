// Every test starts and ends with a fresh fake platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/midi/fake_winmm.h"
#include "tests/support/host_messages.h"

namespace tarn::test {

class FakePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.Clear(); }
  void TearDown() override { fake.Clear(); }

  FakeWinmm& fake = FakeWinmm::Get();
};

using Calls = std::vector<std::string>;

}  // namespace tarn::test
