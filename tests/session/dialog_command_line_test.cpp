// The dialog's command line: --firmware PATH in both spellings, and everything else refused.
#include "session/dialog_command_line.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

struct LineCase {
  std::vector<std::string> args;
  std::optional<std::string> firmware;
  std::string error;
};

TEST(DialogCommandLine, TakesOnlyFirmwareAndHelpAndVersion) {
  const LineCase cases[] = {
      {{}, std::nullopt, ""},
      {{"--firmware", "/opt/set"}, "/opt/set", ""},
      {{"--firmware=C:\\Updater.exe"}, "C:\\Updater.exe", ""},
      {{"--firmware"}, std::nullopt, "--firmware needs a PATH"},
      {{"--firmware", "a", "--firmware", "b"}, "a", "--firmware is given twice"},
      {{"-platform", "xcb"},
       std::nullopt,
       "unknown argument -platform; the only option is --firmware PATH"},
  };
  for (const LineCase& c : cases) {
    const DialogCommandLine line = ParseDialogCommandLine(c.args);
    EXPECT_EQ(line.firmwarePath, c.firmware) << testing::PrintToString(c.args);
    EXPECT_EQ(line.error, c.error) << testing::PrintToString(c.args);
  }
  EXPECT_TRUE(ParseDialogCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseDialogCommandLine({"--version"}).version);
}

}  // namespace
}  // namespace tarn
