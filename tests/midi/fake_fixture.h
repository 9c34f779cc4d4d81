// Every test starts and ends with a fresh fake platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/midi/fake_winmm.h"

namespace tarn::test {

class FakePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.Clear(); }
  void TearDown() override { fake.Clear(); }

  FakeWinmm& fake = FakeWinmm::Get();
};

using Calls = std::vector<std::string>;

// A SysEx message of `length` bytes: F0, a counting pattern below 0x80, F7.
inline std::vector<uint8_t> SysEx(size_t length) {
  std::vector<uint8_t> message(length);
  for (size_t i = 0; i < length; ++i)
    message[i] = static_cast<uint8_t>(i % 0x80);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

}  // namespace tarn::test
