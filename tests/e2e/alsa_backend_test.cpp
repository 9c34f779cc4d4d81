// The ALSA rawmidi backend where it can be checked without sound hardware; transfers over real
// rawmidi devices are tested in the VM (tests/vm).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "midi/platform/alsa/alsa_backend.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

TEST(AlsaBackend, ListsDevicesAtOnceQuietlyAndWithRawmidiIds) {
  auto backend = platform::MakeAlsaBackend();
  EXPECT_EQ(backend->Name(), "ALSA");
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  const auto lists = {backend->Inputs(), backend->Outputs()};
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_LT(elapsed, 2s);
  const bool hasSound = std::filesystem::exists("/dev/snd");
  const std::regex id("hw:[0-9]+,[0-9]+,[0-9]+");
  for (const auto& devices : lists) {
    if (!hasSound) {
      EXPECT_TRUE(devices.empty());
    }
    for (const auto& device : devices) {
      EXPECT_TRUE(std::regex_match(device.id, id)) << device.id;
      EXPECT_FALSE(device.name.empty()) << device.id;
    }
  }
}

TEST(AlsaBackend, RefusesDevicesThatCannotBeOpenedQuietly) {
  auto backend = platform::MakeAlsaBackend();
  const platform::DeviceInfo missing[] = {
      {"absent card", "hw:31,0,0"}, {"not an id", "no-such-device"}, {"empty", ""}};
  for (const auto& device : missing) {
    SCOPED_TRACE(device.id);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(backend->OpenInput(device, [](std::span<const uint8_t>) {}));
    EXPECT_FALSE(backend->OpenOutput(device));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

}  // namespace
}  // namespace tarn
