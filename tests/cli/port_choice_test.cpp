// Picking a port by index, by exact name, or as the dialog preselects, and listing them.
#include <gtest/gtest.h>

#include "cli/port_choice.h"

namespace tarn::cli {
namespace {

const std::vector<std::string> kPorts{"Midi Through", "USB Audio Device", "DAXO Tarn Series",
                                      "USB Audio Device", "7"};

TEST(PortChoice, ResolvesIndexNameAndPreselection) {
  struct Case {
    std::optional<std::string> request;
    std::vector<std::string> names;
    int32_t index;
  };
  const std::vector<Case> cases{
      {"0", kPorts, 0},
      {"4", kPorts, 4},
      {"DAXO Tarn Series", kPorts, 2},
      {"Midi Through", kPorts, 0},
      // "7" is out of range as an index, so the port named "7" is meant.
      {"7", kPorts, 4},
      // Preselection: the last port carrying one of the preferred names.
      {std::nullopt, kPorts, 3},
      {std::nullopt, {"DAXO Tarn Series", "Other"}, 0},
      {std::nullopt, {"DAXO Tarn Series (2)", "DAXO Tarn Series"}, 1},
  };
  for (const Case& c : cases) {
    const PortChoice choice = ChoosePort(PortDirection::kOut, c.request, c.names);
    EXPECT_EQ(choice.index, c.index) << c.request.value_or("(preselected)");
    EXPECT_TRUE(choice.error.empty()) << choice.error;
  }
}

TEST(PortChoice, RefusesWhatDoesNotPickExactlyOnePort) {
  struct Case {
    PortDirection direction;
    std::optional<std::string> request;
    std::vector<std::string> names;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases{
      {PortDirection::kIn, "9", kPorts, {"MIDI IN", "9", "there are 5"}},
      {PortDirection::kOut, "daxo tarn series", kPorts, {"MIDI OUT", "\"daxo tarn series\""}},
      {PortDirection::kOut, "DAXO", kPorts, {"\"DAXO\""}},
      {PortDirection::kIn, "-1", kPorts, {"\"-1\""}},
      {PortDirection::kIn, "", kPorts, {"MIDI IN"}},
      {PortDirection::kOut, "USB Audio Device", kPorts, {"2 MIDI OUT ports", "1, 3", "--out"}},
      {PortDirection::kIn,
       std::nullopt,
       {"Midi Through", "daxo tarn series"},
       {"MIDI IN", "DAXO Tarn Series", "--in", "--list"}},
      {PortDirection::kOut, std::nullopt, {}, {"MIDI OUT", "--out"}},
  };
  for (const Case& c : cases) {
    const PortChoice choice = ChoosePort(c.direction, c.request, c.names);
    EXPECT_EQ(choice.index, -1) << c.request.value_or("(preselected)");
    for (const std::string& mention : c.mentions)
      EXPECT_NE(choice.error.find(mention), std::string::npos) << choice.error;
  }
}

TEST(PortChoice, ListMarksThePreselectedPortOfEachDirection) {
  const auto lines =
      PortListLines({"Midi Through", "DAXO Tarn Series"}, {"DAXO Tarn Series", "Other", "X"});
  const std::vector<std::string> expected{
      "in   0  Midi Through",
      "in   1  DAXO Tarn Series  *",
      "out  0  DAXO Tarn Series  *",
      "out  1  Other",
      "out  2  X",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(PortListLines({}, {}).empty());
  // No preferred name: no mark at all.
  EXPECT_EQ(PortListLines({"A"}, {}), std::vector<std::string>{"in   0  A"});
}

}  // namespace
}  // namespace tarn::cli
