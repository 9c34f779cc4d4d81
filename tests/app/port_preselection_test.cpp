#include "session/port_preselection.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

const std::string kJapaneseUsbAudio =
    "USB \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49 \x83\x66\x83\x6F\x83\x43\x83\x58";

TEST(PreferredNamesFor, CopyOneLooksForTheNamesAsTheyStand) {
  const auto names = PreferredNamesFor(1);
  EXPECT_EQ(names[0], kJapaneseUsbAudio);
  EXPECT_EQ(names[0].size(), 23u);
  EXPECT_EQ(names[1], "USB Audio Device");
  EXPECT_EQ(names[2], "DAXO Tarn Series");
}

TEST(PreferredNamesFor, OtherCopiesLookForTheirNumberInParentheses) {
  const auto two = PreferredNamesFor(2);
  EXPECT_EQ(two[0], kJapaneseUsbAudio + " (2)");
  EXPECT_EQ(two[1], "USB Audio Device (2)");
  EXPECT_EQ(two[2], "DAXO Tarn Series (2)");
  EXPECT_EQ(PreferredNamesFor(20)[2], "DAXO Tarn Series (20)");
}

struct PreselectionCase {
  const char* what;
  int32_t instance;
  std::vector<std::string> ports;
  int32_t expected;
};

class Preselection : public ::testing::TestWithParam<PreselectionCase> {};

TEST_P(Preselection, SelectsTheLastPreferredPort) {
  const PreselectionCase& c = GetParam();
  EXPECT_EQ(PreselectedPort(c.ports, c.instance), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Preselection,
    ::testing::Values(
        PreselectionCase{
            "last match wins", 1, {"USB Audio Device", "DAXO Tarn Series", "USB Audio Device"}, 2},
        PreselectionCase{"match before a stranger", 1, {"DAXO Tarn Series", "Midi Through"}, 0},
        PreselectionCase{"code page 932 name", 1, {"Midi Through", kJapaneseUsbAudio}, 1},
        PreselectionCase{
            "copy 2 takes its own port", 2, {"DAXO Tarn Series (2)", "DAXO Tarn Series"}, 0},
        PreselectionCase{"copy 2 ignores the plain name", 2, {"DAXO Tarn Series"}, -1},
        PreselectionCase{"copy 1 ignores a numbered name", 1, {"DAXO Tarn Series (2)"}, -1},
        PreselectionCase{"letter case counts", 1, {"DAXO TARN SERIES", "usb audio device"}, -1},
        PreselectionCase{"whole name only", 1, {"DAXO Tarn Series 2", " DAXO Tarn Series"}, -1},
        PreselectionCase{"no ports", 1, {}, -1},
        PreselectionCase{"no preferred port", 1, {"Midi Through", "Synth"}, -1}));

}  // namespace
}  // namespace tarn
