// Which ports an update of all devices pairs up, and the copy number a name carries.
#include <gtest/gtest.h>

#include "session/device_pairs.h"

namespace tarn {
namespace {

using platform::PortIdentity;

TEST(DevicePairs, CopyNumberOfEveryKindOfName) {
  const struct {
    std::string name;
    int32_t number;
  } cases[] = {
      {"DAXO Tarn Series", 1},      {"USB Audio Device", 1},
      {"DAXO Tarn Series (2)", 2},  {"USB Audio Device (20)", 20},
      {"DAXO Tarn Series (21)", 0},  // beyond the twenty copies
      {"DAXO Tarn Series (1)", 0},   // copy 1 carries no number
      {"DAXO Tarn Series (02)", 0}, {"daxo tarn series", 0},
      {"DAXO Tarn Series 2", 0},    {"VirMIDI", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CopyNumberOf(c.name), c.number) << c.name;
}

struct PairCase {
  const char* what;
  std::vector<PortIdentity> inputs;
  std::vector<PortIdentity> outputs;
  std::vector<DevicePair> expected;
};

TEST(DevicePairs, PairsAnInputAndAnOutputOfOneDevice) {
  const std::vector<PairCase> cases{
      {"JACK clients, numbered out of order, with a foreign device between",
       {{"DAXO Tarn Series (2)", "JACK/DAXO Tarn Series (2)"},
        {"system", "JACK/system"},
        {"DAXO Tarn Series", "JACK/DAXO Tarn Series"}},
       {{"DAXO Tarn Series", "JACK/DAXO Tarn Series"},
        {"DAXO Tarn Series (2)", "JACK/DAXO Tarn Series (2)"}},
       {{"DAXO Tarn Series", 2, 0}, {"DAXO Tarn Series (2)", 0, 1}}},
      {"an output without an input of its device is no device",
       {{"DAXO Tarn Series", "alsa/hw:1,0,1"}},
       {{"DAXO Tarn Series", "alsa/hw:1,0,0"}},
       {}},
      {"two cards of one name are two devices",
       {{"DAXO Tarn Series", "alsa/hw:1,0,0"}, {"DAXO Tarn Series", "alsa/hw:2,0,0"}},
       {{"DAXO Tarn Series", "alsa/hw:2,0,0"}, {"DAXO Tarn Series", "alsa/hw:1,0,0"}},
       {{"DAXO Tarn Series", 1, 0}, {"DAXO Tarn Series", 0, 1}}},
      {"a device with two ports of each kind is taken once",
       {{"DAXO Tarn Series", "JACK/DAXO Tarn Series"},
        {"DAXO Tarn Series", "JACK/DAXO Tarn Series"}},
       {{"DAXO Tarn Series", "JACK/DAXO Tarn Series"},
        {"DAXO Tarn Series", "JACK/DAXO Tarn Series"}},
       {{"DAXO Tarn Series", 0, 0}}},
      {"names that are not preferred ones are left alone",
       {{"VirMIDI", "alsa/hw:0,0,0"}, {"DAXO Tarn Series (21)", "JACK/x"}},
       {{"VirMIDI", "alsa/hw:0,0,0"}, {"DAXO Tarn Series (21)", "JACK/x"}},
       {}},
  };
  for (const PairCase& c : cases) {
    const auto pairs = FindDevicePairs(c.inputs, c.outputs);
    ASSERT_EQ(pairs.size(), c.expected.size()) << c.what;
    for (size_t i = 0; i < pairs.size(); ++i) {
      EXPECT_EQ(pairs[i].name, c.expected[i].name) << c.what;
      EXPECT_EQ(pairs[i].input, c.expected[i].input) << c.what << " #" << i;
      EXPECT_EQ(pairs[i].output, c.expected[i].output) << c.what << " #" << i;
    }
  }
}

}  // namespace
}  // namespace tarn
