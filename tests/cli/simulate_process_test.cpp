// tarn-updater-cli as a process against its in-process virtual device (--simulate): no MIDI
// system involved.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sysex/host_requests.h"
#include "tests/cli/process_support.h"
#include "tests/support/child_process.h"
#include "tests/support/firmware_files.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kUpdateLimit = 120s;

TEST(SimulateProcess, CompletesTheUpdateAndTracesEveryMessage) {
  const std::string trace = TempFile("trace.txt");
  const ChildResult result = RunChild({kCliPath, "--simulate", "--trace", trace}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "10/10 Version update completed.\n")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Simulated device: flash ok")) << result.out;
  EXPECT_EQ(result.err, "");

  const auto lines = ReadTrace(trace);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().text, "> F0 7E 00 06 01 F7");
  int blocks = 0;
  for (const TraceLine& line : lines) {
    ASSERT_GE(line.bytes.size(), 2u);
    EXPECT_EQ(line.bytes.front(), 0xF0u);
    EXPECT_EQ(line.bytes.back(), 0xF7u);
    const std::vector<uint8_t> message(line.bytes.begin(), line.bytes.end());
    if (line.direction == '>' && ClassifyHostMessage(message) == RequestKind::kWriteBlock) {
      ++blocks;
    }
  }
  // 7714464 bytes of firmware in blocks of 4096.
  EXPECT_EQ(blocks, 1884);
  EXPECT_EQ(lines.back().direction, '<');
  unlink(trace.c_str());
}

TEST(SimulateProcess, JsonLinesCarryEveryStepAndTheOutcome) {
  const ChildResult result = RunChild({kCliPath, "--simulate", "--json"}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");

  std::vector<nlohmann::json> objects;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    // Throws, and fails the test, on anything that is not one whole JSON value.
    objects.push_back(nlohmann::json::parse(line));
  }
  ASSERT_GE(objects.size(), 3u);
  // The first object names the set before anything is sent.
  EXPECT_EQ(objects.front().at("event"), "start");
  EXPECT_EQ(objects.front().at("firmware").at("stand_in"), true);
  EXPECT_EQ(objects.front().at("firmware").at("system_version"), "2.00");
  std::vector<int> steps;
  std::vector<int> verifiedSteps;
  int64_t lastElapsed = 0;
  int transmitted = 0;
  int verifying = 0;
  for (const nlohmann::json& object : objects) {
    ASSERT_TRUE(object.is_object()) << object;
    EXPECT_EQ(object.at("device"), "DAXO Tarn Series") << object;
    const int64_t elapsed = object.at("elapsed_ms");
    EXPECT_GE(elapsed, lastElapsed) << object;
    lastElapsed = elapsed;
    const std::string event = object.at("event");
    if (event == "step" && object.at("verifying")) {
      verifiedSteps.push_back(object.at("step"));
      EXPECT_EQ(object.at("text_id"), 122);
      EXPECT_EQ(object.at("text"), "Verify");
    } else if (event == "step") {
      steps.push_back(object.at("step"));
      EXPECT_EQ(object.at("count"), 10);
      EXPECT_EQ(object.at("text"), std::to_string(steps.back()) + "/10");
    }
    if (event == "status" && object.at("text_id") == 123) {
      EXPECT_LT(object.at("offset"), object.at("total")) << object;
      ++verifying;
    }
    if (event == "status" && object.at("text_id") == 115) {
      EXPECT_LE(object.at("offset"), object.at("total")) << object;
      EXPECT_EQ(object.at("text").get<std::string>().rfind("Data transmit", 0), 0u) << object;
      ++transmitted;
    }
  }
  // Each area's verification right after its write step; the last step shown once more after
  // the version block's.
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}));
  EXPECT_EQ(verifiedSteps, (std::vector<int>{3, 5, 7, 9, 10}));
  EXPECT_GE(transmitted, 1884);
  EXPECT_GE(verifying, 1884);

  const nlohmann::json& outcome = objects[objects.size() - 2];
  EXPECT_EQ(outcome.at("event"), "outcome");
  EXPECT_EQ(outcome.at("outcome"), "completed");
  EXPECT_EQ(outcome.at("text"), "Version update completed.");
  EXPECT_EQ(outcome.at("blocks_resent"), 0);
  EXPECT_EQ(outcome.at("verification"), "verified");
  EXPECT_EQ(outcome.at("exit_code"), 0);
  EXPECT_EQ(objects.back().at("event"), "simulated_device");
  EXPECT_EQ(objects.back().at("text").get<std::string>().rfind("flash ok", 0), 0u);
}

TEST(SimulateProcess, AllWithJsonNamesTheDeviceInEveryObject) {
  const ChildResult result = RunChild({kCliPath, "--simulate", "--all", "--json"}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::vector<nlohmann::json> objects;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);)
    objects.push_back(nlohmann::json::parse(line));
  ASSERT_GE(objects.size(), 2u);
  for (size_t i = 0; i + 1 < objects.size(); ++i)
    EXPECT_EQ(objects[i].at("device"), "DAXO Tarn Series") << objects[i];
  // The closing object is of all devices together.
  EXPECT_FALSE(objects.back().contains("device"));
  const nlohmann::json& outcome = objects[objects.size() - 2];
  EXPECT_EQ(outcome.at("event"), "outcome");
  EXPECT_EQ(outcome.at("outcome"), "completed");
  EXPECT_EQ(objects.back().at("event"), "end");
  EXPECT_EQ(objects.back().at("exit_code"), 0);
}

TEST(SimulateProcess, ReaderGoingAwayDoesNotEndTheUpdate) {
  // With pipefail the pipeline's status is the updater's own; killed by SIGPIPE it is 141.
  const ChildResult result = RunChild(
      {"/bin/bash", "-c", "set -o pipefail; '" + kCliPath + "' --simulate | head -n 1 >/dev/null"},
      kUpdateLimit);
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(SimulateProcess, ListShowsTheVirtualDevicePreselected) {
  const ChildResult result = RunChild({kCliPath, "--simulate", "--list"}, 30s);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "in   0  DAXO Tarn Series  *\n"
            "out  0  DAXO Tarn Series  *\n");
}

TEST(SimulateProcess, UsageErrorsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases{
      {{"--simulate", "--out", "No Such Port"},
       "Error: no MIDI OUT port is named \"No Such Port\""},
      {{"--simulate", "--in", "3"}, "Error: no MIDI IN port 3 (there are 1)"},
      {{"--simulate", "--trace", "/nonexistent-folder/trace.txt"}, "Error: cannot create"},
      {{"--frobnicate"}, "frobnicate"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{kCliPath};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ChildResult result = RunChild(argv, 30s);
    EXPECT_EQ(result.exitCode, 2) << c.error;
    EXPECT_TRUE(Contains(result.err, c.error)) << result.err;
    EXPECT_FALSE(Contains(result.out, "Erasing")) << result.out;
  }
}

// A device lock that cannot be kept fails as a port that cannot be opened (3; for --all, 1 as
// any failure), and the error names the lock file and the fix instead of a port.
TEST(SimulateProcess, LockThatCannotBeKeptIsNamedAndNothingIsSent) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> before = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("XDG_RUNTIME_DIR", "/tarn-no-such-folder", 1);
  const std::string named = "The lock file /tarn-no-such-folder/tarn-updater-";
  const std::string fix =
      " cannot be made or opened. Check that its folder exists and that you "
      "may write in it, and try again.";
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{"--simulate"}, 3},
      {{"--simulate", "--json"}, 3},
      {{"--simulate", "--all"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    std::vector<std::string> argv{kCliPath};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ChildResult result = RunChild(argv, 30s);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.err, "Error: " + named)) << result.err;
    EXPECT_TRUE(Contains(result.err, fix)) << result.err;
    EXPECT_FALSE(Contains(result.err, "Can't open MIDI Out device.")) << result.err;
    EXPECT_FALSE(Contains(result.out, "Erasing")) << result.out;
    if (c.args.back() == "--json") {
      EXPECT_TRUE(Contains(result.out, "\"event\":\"error\",\"text\":\"" + named)) << result.out;
      EXPECT_TRUE(Contains(result.out, "\"exit_code\":3")) << result.out;
    }
  }
  if (before) {
    setenv("XDG_RUNTIME_DIR", before->c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

// The messages to the device of one run, without times.
std::vector<TraceLine> SentMessages(const std::string& trace) {
  std::vector<TraceLine> sent;
  for (TraceLine& line : ReadTrace(trace)) {
    if (line.direction == '>') sent.push_back(std::move(line));
  }
  return sent;
}

// By default each area is read back right after it is written; the messages are those of an
// update without the read-back (--no-verify) with the reads added after each area.
TEST(SimulateProcess, EachAreaIsReadBackRightAfterItIsWritten) {
  const std::string verifiedTrace = TempFile("verified.txt");
  const ChildResult verified =
      RunChild({kCliPath, "--simulate", "--trace", verifiedTrace}, kUpdateLimit);
  ASSERT_TRUE(verified.ended);
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.err, "");
  EXPECT_TRUE(Contains(verified.out, "Verify Verifying flash memory")) << verified.out;
  EXPECT_TRUE(Contains(verified.out, "Simulated device: flash ok")) << verified.out;
  const std::string plainTrace = TempFile("plain.txt");
  const ChildResult plain =
      RunChild({kCliPath, "--simulate", "--no-verify", "--trace", plainTrace}, kUpdateLimit);
  ASSERT_TRUE(plain.ended);
  EXPECT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_FALSE(Contains(plain.out, "Verify")) << plain.out;

  std::vector<std::string> withoutReads;
  uint64_t readBytes = 0;
  uint32_t areaStart = 0;
  uint32_t areaEnd = 0;
  bool readingArea = false;
  for (const TraceLine& line : SentMessages(verifiedTrace)) {
    const std::vector<uint8_t> message(line.bytes.begin(), line.bytes.end());
    if (const auto block = ParseWriteBlock(message)) {
      if (readingArea || block->address != areaEnd) areaStart = block->address;
      areaEnd = block->address + static_cast<uint32_t>(block->data.size());
      readingArea = false;
    }
    if (const auto read = ParseReadFlash(message); read && read->count > 4) {
      // Only what was just written, and none of it twice.
      EXPECT_GE(read->address, areaStart);
      EXPECT_LE(read->address + read->count, areaEnd);
      EXPECT_LE(read->count, 4096u);
      readBytes += read->count;
      readingArea = true;
      continue;
    }
    withoutReads.push_back(line.text.substr(line.text.find(' ') + 1));
  }
  EXPECT_EQ(readBytes, 7714464u);
  std::vector<std::string> plainMessages;
  for (const TraceLine& line : SentMessages(plainTrace))
    plainMessages.push_back(line.text.substr(line.text.find(' ') + 1));
  EXPECT_EQ(withoutReads, plainMessages);
  unlink(verifiedTrace.c_str());
  unlink(plainTrace.c_str());
}

// The run's supervision, for one device and for --all (as lines and as JSON): a hang-up lets
// the update run on, one Ctrl-C warns and lets it run on, a second one or a termination request
// stops it, and a stopped update sends nothing more.
struct SignalCase {
  const char* name;
  std::vector<std::string> args;
  std::string running;  // in the output once the update is under way; then the signals go
  std::vector<int> signals;
  int exitCode;
  std::vector<std::string> err;     // each in its standard error
  std::vector<std::string> out;     // each in its output
  std::vector<std::string> absent;  // none of these in either
};

using test::PrintTo;

constexpr char kOneWarning[] =
    "Stopping now leaves the device without a valid firmware. Press Ctrl-C again to stop anyway.";
constexpr char kAllWarning[] =
    "Stopping now leaves the devices without a valid firmware. Press Ctrl-C again to stop them "
    "all anyway.";
constexpr char kOneStopped[] = "Update stopped: nothing more was sent to the device.";
constexpr char kAllStopped[] = "Update stopped: nothing more was sent to the devices.";

class SignalTest : public ::testing::TestWithParam<SignalCase> {};

bool WaitForOutput(const ChildProcess& cli, const std::string& text,
                   std::chrono::milliseconds timeout) {
  const auto limit = std::chrono::steady_clock::now() + timeout;
  while (!Contains(cli.Out(), text)) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

TEST_P(SignalTest, SupervisesTheRun) {
  const SignalCase& c = GetParam();
  const bool stops = c.exitCode == 130;
  const bool all = std::find(c.args.begin(), c.args.end(), "--all") != c.args.end();
  const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
  const std::string trace = TempFile("trace.txt");
  // About 80 s for a whole update that is to be stopped, about 8 s for one that runs on.
  std::vector<std::string> argv{kCliPath, "--simulate", "--simulate-rate",
                                stops ? "100000" : "1000000"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  // --all traces nothing.
  if (!all) argv.insert(argv.end(), {"--trace", trace});
  ChildProcess cli(argv);
  ASSERT_TRUE(cli.Started());
  ASSERT_TRUE(WaitForOutput(cli, c.running, 30s)) << cli.Out();
  for (size_t i = 0; i < c.signals.size(); ++i) {
    cli.Signal(c.signals[i]);
    if (c.signals[i] != SIGINT || i + 1 == c.signals.size()) continue;
    // A Ctrl-C with another to come: warned, and still running.
    if (json) {
      ASSERT_TRUE(WaitForOutput(cli, "\"event\":\"notice\"", 10s)) << cli.Out();
    } else {
      ASSERT_TRUE(cli.WaitForError("Press Ctrl-C again", 10s)) << cli.Err();
    }
    const size_t before = cli.Out().size();
    ASSERT_TRUE(WaitForOutput(cli, json ? "\"step\":5," : "5/10 ", 30s)) << cli.Out();
    EXPECT_GT(cli.Out().size(), before);
  }
  const ChildResult result = cli.Wait(kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
  for (const std::string& text : c.err)
    EXPECT_TRUE(Contains(result.err, text)) << text << "\n" << result.err;
  for (const std::string& text : c.out)
    EXPECT_TRUE(Contains(result.out, text)) << text << "\n" << result.out;
  for (const std::string& text : c.absent) {
    EXPECT_FALSE(Contains(result.out, text)) << text;
    EXPECT_FALSE(Contains(result.err, text)) << text;
  }
  if (all) return;
  // Stopped as the dialog's close does: no FinishUpdate ever went out.
  for (const TraceLine& line : ReadTrace(trace)) {
    if (stops && line.direction == '>') {
      EXPECT_NE(line.text, "> F0 52 00 6E 04 F7");
    }
  }
  unlink(trace.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalTest,
    ::testing::Values(
        // Not a terminal, so the output was not silenced: the update is seen to the end.
        SignalCase{"OneHangUp",
                   {},
                   "3/10 Data transmit",
                   {SIGHUP},
                   0,
                   {},
                   {"10/10 Version update completed.\n", "Simulated device: flash ok"},
                   {kOneWarning, kOneStopped}},
        SignalCase{
            "AllHangUp",
            {"--all"},
            "DAXO Tarn Series: 3/10 Data transmit",
            {SIGHUP},
            0,
            {},
            {"DAXO Tarn Series: 10/10 Version update completed.\n",
             "\nDAXO Tarn Series  Version update completed.  ", "Simulated device: flash ok"},
            {kAllWarning, kAllStopped}},
        SignalCase{"OneCtrlCOnce",
                   {},
                   "3/10 Data transmit",
                   {SIGINT},
                   0,
                   {kOneWarning},
                   {"10/10 Version update completed.\n", "Simulated device: flash ok"},
                   {kOneStopped}},
        SignalCase{
            "AllCtrlCOnce",
            {"--all"},
            "DAXO Tarn Series: 3/10 Data transmit",
            {SIGINT},
            0,
            {kAllWarning},
            {"\nDAXO Tarn Series  Version update completed.  ", "Simulated device: flash ok"},
            {kAllStopped}},
        SignalCase{"OneCtrlCTwice",
                   {},
                   "3/10 Data transmit",
                   {SIGINT, SIGINT},
                   130,
                   {kOneWarning, kOneStopped},
                   {"Simulated device: flash wrong"},
                   {"Version update completed."}},
        SignalCase{"AllCtrlCTwice",
                   {"--all"},
                   "DAXO Tarn Series: 3/10 Data transmit",
                   {SIGINT, SIGINT},
                   130,
                   {kAllWarning, kAllStopped},
                   {"\nDAXO Tarn Series  Stopped.  ", "Simulated device: flash wrong"},
                   {"Version update completed."}},
        // The warning only in the JSON lines; the stop said on stderr; stopped, and nothing
        // more about the run in the outcome.
        SignalCase{"OneJsonCtrlCTwice",
                   {"--json"},
                   "\"step\":3,",
                   {SIGINT, SIGINT},
                   130,
                   {kOneStopped},
                   {std::string("\"event\":\"notice\",\"text\":\"") + kOneWarning + "\"}\n",
                    "\"event\":\"outcome\",\"outcome\":\"stopped\",\"verification\":\"not_asked\","
                    "\"blocks_resent\":0,\"exit_code\":130}\n",
                    "\"event\":\"simulated_device\",\"text\":\"flash wrong"},
                   {"Ctrl-C again to stop anyway.\n"}},
        SignalCase{"AllJsonCtrlCTwice",
                   {"--all", "--json"},
                   "\"step\":3,",
                   {SIGINT, SIGINT},
                   130,
                   {kAllStopped},
                   {std::string("\"event\":\"notice\",\"text\":\"") + kAllWarning + "\"}\n",
                    "\"event\":\"outcome\",\"outcome\":\"stopped\",",
                    "\"event\":\"end\",\"exit_code\":130}\n"},
                   {"them all anyway.\n"}},
        SignalCase{"OneTerminate",
                   {},
                   "3/10 Data transmit",
                   {SIGTERM},
                   130,
                   {kOneStopped},
                   {"Simulated device: flash wrong"},
                   {"Ctrl-C again", "Version update completed."}},
        SignalCase{"AllTerminate",
                   {"--all"},
                   "DAXO Tarn Series: 3/10 Data transmit",
                   {SIGTERM},
                   130,
                   {kAllStopped},
                   {"\nDAXO Tarn Series  Stopped.  "},
                   {"Ctrl-C again", "Version update completed."}}),
    [](const ::testing::TestParamInfo<SignalCase>& info) { return info.param.name; });

// --firmware-info: the built-in stand-in set and a set from a folder, as lines and as JSON; and
// the virtual device updated with that folder's set.
TEST(SimulateProcess, FirmwareInfoNamesTheSetAndEveryImage) {
  const ChildResult text = RunChild({kCliPath, "--firmware-info"}, 60s);
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_TRUE(Contains(text.out, "source:         built in\n")) << text.out;
  EXPECT_TRUE(Contains(text.out, "stand-in set:   yes")) << text.out;
  EXPECT_TRUE(Contains(text.out, "image 136   6946816 bytes  sha256 ")) << text.out;

  const std::string folder = TempFile("set");
  WriteImageFolder(folder, RandomImages(9));
  const ChildResult json =
      RunChild({kCliPath, "--firmware-info", "--firmware", folder, "--json"}, 60s);
  EXPECT_EQ(json.exitCode, 0) << json.err;
  const nlohmann::json set = nlohmann::json::parse(json.out);
  EXPECT_EQ(set.at("source"), "folder");
  EXPECT_EQ(set.at("path"), folder);
  EXPECT_EQ(set.at("stand_in"), false);
  EXPECT_EQ(set.at("system_version"), "3.10");
  EXPECT_EQ(set.at("boot_version"), "1.05");
  ASSERT_EQ(set.at("images").size(), 5u);
  EXPECT_EQ(set.at("images")[0].at("id"), 129);
  EXPECT_EQ(set.at("images")[0].at("size"), 501408);
  EXPECT_EQ(set.at("images")[0].at("sha256").get<std::string>().size(), 64u);

  const ChildResult update = RunChild({kCliPath, "--simulate", "--firmware", folder}, kUpdateLimit);
  EXPECT_EQ(update.exitCode, 0) << update.err;
  EXPECT_TRUE(Contains(update.out, "Simulated device: flash ok")) << update.out;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tarn::test
