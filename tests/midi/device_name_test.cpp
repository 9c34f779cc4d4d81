// Both ports list their devices through one copy of the product name: bounded, terminated, and
// empty for an index the platform rejects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "tests/midi/fake_fixture.h"

namespace tarn::test {
namespace {

struct Side {
  const char* name;
  std::vector<std::string> FakeWinmm::*names;
  const char* capsCall;
  int32_t (*count)();
  int32_t (*deviceName)(int32_t index, char* name);
};

const Side kSides[] = {
    {"input", &FakeWinmm::inputNames, "midiInGetDevCapsA", &CMidiInPort::GetDeviceCount,
     &CMidiInPort::GetDeviceName},
    {"output", &FakeWinmm::outputNames, "midiOutGetDevCapsA", &CMidiOutPort::GetDeviceCount,
     &CMidiOutPort::GetDeviceName},
};

using DeviceNameTest = FakePlatformTest;

TEST_F(DeviceNameTest, BothPortsCopyTheProductNameBoundedAndTerminated) {
  struct Case {
    const char* what;
    int32_t index;
    bool refused;  // the platform fails the query of a listed index
    int32_t result;
    std::string name;
  };
  const Case cases[] = {
      {"a name", 0, false, 1, "DAXO Tarn Series"},
      {"31 characters", 1, false, 1, std::string(31, 'a')},
      {"the platform's field full, unterminated", 2, false, 1, std::string(32, 'b')},
      {"past the list", 3, false, 0, ""},
      {"the mapper, which this platform lacks", -1, false, 0, ""},
      {"a listed index the platform refuses", 0, true, 0, ""},
  };
  for (const Side& side : kSides) {
    SCOPED_TRACE(side.name);
    fake.*side.names = {"DAXO Tarn Series", std::string(31, 'a'), std::string(32, 'b')};
    EXPECT_EQ(side.count(), 3);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      if (c.refused) fake.Script(side.capsCall, {MMSYSERR_ERROR});
      char name[64];
      std::memset(name, 'X', sizeof name);
      EXPECT_EQ(side.deviceName(c.index, name), c.result);
      EXPECT_EQ(std::string(name), c.name);
      // Nothing is written past the capacity the callers' buffers have.
      for (size_t i = kDeviceNameCapacity; i < sizeof name; ++i)
        ASSERT_EQ(name[i], 'X') << i;
    }
  }
}

}  // namespace
}  // namespace tarn::test
