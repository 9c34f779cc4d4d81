#include "session/port_preselection.h"

#include <gtest/gtest.h>

#include "tests/support/test_names.h"

namespace tarn {
namespace {

struct PreselectionCase {
  const char* what;
  std::vector<std::string> names;
  int32_t instance;
  int32_t expected;
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const PreselectionCase& c, std::ostream* out) {
  *out << c.what;
}

class Preselection : public testing::TestWithParam<PreselectionCase> {};

TEST_P(Preselection, PicksTheLastMatchingPort) {
  const auto& c = GetParam();
  EXPECT_EQ(PreselectedPort(c.names, c.instance), c.expected) << c.what;
}

const std::string kJapaneseUsbAudio =
    "USB \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49 \x83\x66\x83\x6F\x83\x43\x83\x58";

INSTANTIATE_TEST_SUITE_P(
    Cases, Preselection,
    testing::Values(
        PreselectionCase{
            "last match wins", {"USB Audio Device", "DAXO Tarn Series", "USB Audio Device"}, 1, 2},
        PreselectionCase{"no match", {"Midi Through", "Other"}, 1, -1},
        PreselectionCase{"match before a stranger", {"DAXO Tarn Series", "Midi Through"}, 1, 0},
        PreselectionCase{"no ports", {}, 1, -1},
        PreselectionCase{"letter case matters", {"daxo tarn series", "USB AUDIO DEVICE"}, 1, -1},
        PreselectionCase{
            "whole name only", {"DAXO Tarn Series MIDI 1", " DAXO Tarn Series"}, 1, -1},
        PreselectionCase{
            "copy 2 wants its suffix", {"DAXO Tarn Series (2)", "DAXO Tarn Series"}, 2, 0},
        PreselectionCase{"copy 2 ignores other copies", {"DAXO Tarn Series (3)"}, 2, -1},
        PreselectionCase{"copy 1 ignores suffixed names", {"DAXO Tarn Series (2)"}, 1, -1},
        PreselectionCase{"code page 932 name", {"x", kJapaneseUsbAudio}, 1, 1},
        PreselectionCase{"copy 20", {"USB Audio Device (20)", "USB Audio Device (2)"}, 20, 0}),
    [](const testing::TestParamInfo<PreselectionCase>& info) {
      return test::TestName(info.param.what);
    });

TEST(PreferredNames, CopyOneLooksForTheNamesAsTheyStand) {
  const auto names = PreferredNamesFor(1);
  EXPECT_EQ(names[0], kJapaneseUsbAudio);
  EXPECT_EQ(names[0].size(), 23u);
  EXPECT_EQ(names[1], "USB Audio Device");
  EXPECT_EQ(names[2], "DAXO Tarn Series");
}

TEST(PreferredNames, OtherCopiesLookForTheirNumberInParentheses) {
  const auto two = PreferredNamesFor(2);
  EXPECT_EQ(two[0], kJapaneseUsbAudio + " (2)");
  EXPECT_EQ(two[1], "USB Audio Device (2)");
  EXPECT_EQ(two[2], "DAXO Tarn Series (2)");
  EXPECT_EQ(PreferredNamesFor(20)[2], "DAXO Tarn Series (20)");
}

}  // namespace
}  // namespace tarn
