// tarn-updater-cli as a process against its in-process virtual device (--simulate): no MIDI
// system involved.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <vector>

#include "sysex/host_requests.h"
#include "tests/cli/child_process.h"
#include "tests/cli/process_support.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kUpdateLimit = 120s;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

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
    if (line.direction == '>' && ClassifyHostMessage(message) == HostMessageKind::kWriteBlock) {
      ++blocks;
    }
  }
  // 7714464 bytes of firmware in blocks of 4096.
  EXPECT_EQ(blocks, 1884);
  EXPECT_EQ(lines.back().direction, '<');
  unlink(trace.c_str());
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

TEST(SimulateProcess, SecondCtrlCStopsAndNothingMoreIsSent) {
  const std::string trace = TempFile("trace.txt");
  // Slow enough to be caught in the middle: about 80 s for the whole update.
  ChildProcess cli({kCliPath, "--simulate", "--simulate-rate", "100000", "--trace", trace});
  ASSERT_TRUE(cli.Started());
  ASSERT_TRUE(cli.WaitForLine("3/10 Data transmit", 30s)) << cli.Out();

  cli.Signal(SIGINT);
  ASSERT_TRUE(cli.WaitForError("Press Ctrl-C again", 10s)) << cli.Err();
  EXPECT_TRUE(Contains(cli.Err(), "leaves the device without a valid firmware"));
  // Still running after the first one: the update goes on.
  const size_t linesBefore = cli.Out().size();
  ASSERT_TRUE(cli.WaitForLine("5/10", 30s)) << cli.Out();
  EXPECT_GT(cli.Out().size(), linesBefore);

  cli.Signal(SIGINT);
  const ChildResult result = cli.Wait(20s);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 130);
  EXPECT_TRUE(Contains(result.err, "Update stopped")) << result.err;
  EXPECT_FALSE(Contains(result.out, "Version update completed."));
  EXPECT_TRUE(Contains(result.out, "Simulated device: flash wrong")) << result.out;
  // Stopped as the dialog's close does: no FinishUpdate ever went out.
  for (const TraceLine& line : ReadTrace(trace)) {
    if (line.direction == '>') {
      EXPECT_NE(line.text, "> F0 52 00 6E 04 F7");
    }
  }
  unlink(trace.c_str());
}

TEST(SimulateProcess, HangUpDoesNotStopTheUpdate) {
  // About 8 s for the whole update: time to hang up in the middle.
  ChildProcess cli({kCliPath, "--simulate", "--simulate-rate", "1000000"});
  ASSERT_TRUE(cli.WaitForLine("3/10 Data transmit", 30s)) << cli.Out();
  cli.Signal(SIGHUP);
  const ChildResult result = cli.Wait(kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // Not a terminal, so the output was not silenced: the update is seen to the end.
  EXPECT_TRUE(Contains(result.out, "10/10 Version update completed.\n")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Simulated device: flash ok")) << result.out;
}

TEST(SimulateProcess, VerifyReadsEveryWrittenAreaBackBeforeFinishing) {
  const std::string trace = TempFile("trace.txt");
  const ChildResult result =
      RunChild({kCliPath, "--simulate", "--verify", "--trace", trace}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(Contains(result.out, "Verify Verifying flash memory")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Simulated device: flash ok")) << result.out;
  uint64_t readBytes = 0;
  bool finishAfterReads = false;
  for (const TraceLine& line : ReadTrace(trace)) {
    if (line.direction != '>') continue;
    const std::vector<uint8_t> message(line.bytes.begin(), line.bytes.end());
    if (const auto read = ParseReadFlash(message)) {
      EXPECT_LE(read->count, 4096u);
      readBytes += read->count;
      finishAfterReads = false;
    }
    if (ClassifyHostMessage(message) == HostMessageKind::kFinishUpdate)
      finishAfterReads = readBytes > 0;
  }
  // Every written byte once, apart from the boot area's version read.
  EXPECT_GE(readBytes, 7714464u);
  EXPECT_TRUE(finishAfterReads);
  unlink(trace.c_str());
}

TEST(SimulateProcess, TerminationStopsAtOnce) {
  ChildProcess cli({kCliPath, "--simulate", "--simulate-rate", "100000"});
  ASSERT_TRUE(cli.WaitForLine("3/10 Data transmit", 30s)) << cli.Out();
  cli.Signal(SIGTERM);
  const ChildResult result = cli.Wait(20s);
  EXPECT_EQ(result.exitCode, 130);
  EXPECT_FALSE(Contains(result.err, "Press Ctrl-C again")) << result.err;
  EXPECT_TRUE(Contains(result.err, "Update stopped")) << result.err;
}

}  // namespace
}  // namespace tarn::test
