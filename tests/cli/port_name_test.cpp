// Port names as systems give them, through every path a name takes to the user: WinMM's ANSI
// names into UTF-8, then the terminal's text and the JSON lines. Nothing throws, nothing of a
// name acts on the terminal, and the JSON stays valid UTF-8.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/display_text.h"
#include "cli/json_view.h"
#include "tests/support/test_names.h"

#ifdef _WIN32
#include <windows.h>

#include "midi/platform/windows/ansi_names.h"
#endif

namespace tarn::cli {
namespace {

const std::string kJapanese = "USB オーディオ デバイス";
// The same in CP932, as midiInGetDevCapsA gives it on Japanese Windows.
const std::string kJapaneseCp932 =
    "USB \x83"
    "I\x81"
    "[\x83"
    "f\x83"
    "B\x83"
    "I \x83"
    "f\x83"
    "o\x83"
    "C\x83"
    "X";
const std::string kReplacement = "\xEF\xBF\xBD";

struct NameCase {
  const char* name;
  std::string bytes;     // the name as the platform gives it, UTF-8 expected
  std::string terminal;  // what a terminal is shown
  std::string json;      // the "text" a JSON reader gets
};

using tarn::test::PrintTo;

std::vector<NameCase> NameCases() {
  return {
      {"japanese", kJapanese, kJapanese, kJapanese},
      {"cp932_unconverted", kJapaneseCp932,
       "USB " + kReplacement + "I" + kReplacement + "[" + kReplacement + "f" + kReplacement + "B" +
           kReplacement + "I " + kReplacement + "f" + kReplacement + "o" + kReplacement + "C" +
           kReplacement + "X",
       "USB " + kReplacement + "I" + kReplacement + "[" + kReplacement + "f" + kReplacement + "B" +
           kReplacement + "I " + kReplacement + "f" + kReplacement + "o" + kReplacement + "C" +
           kReplacement + "X"},
      {"invalid_utf8", "Tarn \xFF\xC3", "Tarn " + kReplacement + kReplacement,
       "Tarn " + kReplacement + kReplacement},
      {"overlong_and_surrogate",
       "a\xC0\xAF"
       "b\xED\xA0\x80",
       "a" + kReplacement + kReplacement + "b" + kReplacement + kReplacement + kReplacement,
       "a" + kReplacement + kReplacement + "b" + kReplacement + kReplacement + kReplacement},
      {"escape_sequence", "Tarn\x1B[2J\x07\n", "Tarn?[2J??", "Tarn\x1B[2J\x07\n"},
      {"c1_control",
       "Tarn\xC2\x9B"
       "31m",
       "Tarn?31m",
       "Tarn\xC2\x9B"
       "31m"},
      {"delete", "Tarn\x7F", "Tarn?", "Tarn\x7F"},
  };
}

class PortNames : public testing::TestWithParam<NameCase> {};

TEST_P(PortNames, ReachTheTerminalAndTheJsonSafely) {
  const NameCase& c = GetParam();
  EXPECT_EQ(DisplayText(c.bytes), c.terminal);

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::mutex mutex;
  {
    JsonView json(file, mutex, Clock::now());
    json.SetDevice(c.bytes);
    json.Line("notice", c.bytes);
  }
  std::rewind(file);
  char line[1024] = {};
  ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
  std::fclose(file);
  const auto parsed = nlohmann::json::parse(line, nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << line;
  EXPECT_EQ(parsed["device"], c.json);
  EXPECT_EQ(parsed["text"], c.json);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortNames, testing::ValuesIn(NameCases()),
                         [](const testing::TestParamInfo<NameCase>& info) {
                           return std::string(info.param.name);
                         });

#ifdef _WIN32
// WinMM's ANSI names: converted from their code page, a byte it does not hold replaced.
TEST(WinmmNames, ComeOutOfTheirCodePageAsUtf8) {
  using platform::CodePageToUtf8;
  EXPECT_EQ(CodePageToUtf8(932, kJapaneseCp932), kJapanese);
  EXPECT_EQ(CodePageToUtf8(932, "DAXO Tarn Series"), "DAXO Tarn Series");
  // A name cut after a lead byte, as a 32-byte name field cuts it.
  const std::string cut = CodePageToUtf8(932, kJapaneseCp932.substr(0, 5));
  EXPECT_EQ(cut.substr(0, 4), "USB ");
  EXPECT_EQ(DisplayText(cut), cut);
  EXPECT_EQ(CodePageToUtf8(1252, "Caf\xE9"), "Caf\xC3\xA9");
  EXPECT_EQ(DisplayText(CodePageToUtf8(CP_ACP, "Tarn\x1B[2J")), "Tarn?[2J");
}
#endif

}  // namespace
}  // namespace tarn::cli
