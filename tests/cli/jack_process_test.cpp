// tarn-updater-cli against tarn-device-sim over a private JACK server: the whole road of the
// update through real ports, with the device's faults and its own verdict on its flash.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "sysex/host_requests.h"
#include "tests/cli/process_support.h"
#include "tests/e2e/jack_server.h"
#include "tests/support/child_process.h"
#include "tests/support/firmware_files.h"
#include "tests/support/test_names.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

const std::string kDeviceSimPath = TARN_DEVICE_SIM_PATH;
constexpr auto kStartLimit = 20s;
constexpr auto kUpdateLimit = 180s;

class JackProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
    m_server = std::make_unique<JackServer>();
    ASSERT_TRUE(m_server->Running()) << m_server->Error();
  }

  // Starts the device and waits until its ports listen.
  std::unique_ptr<ChildProcess> StartDevice(std::vector<std::string> args) {
    args.insert(args.begin(), kDeviceSimPath);
    auto device = std::make_unique<ChildProcess>(args);
    const auto ready = device->WaitForLine("ready ", kStartLimit);
    EXPECT_EQ(ready, "ready DAXO Tarn Series") << device->Err();
    return device;
  }

  // Ends the device as a script would and returns its one summary line.
  static std::string DeviceSummary(ChildProcess& device, int* exitCode = nullptr) {
    device.Signal(SIGTERM);
    const ChildResult result = device.Wait(20s);
    if (exitCode) *exitCode = result.exitCode;
    const std::string out = result.out;
    const size_t ready = out.find('\n');
    return ready == std::string::npos ? std::string() : out.substr(ready + 1);
  }

  std::unique_ptr<JackServer> m_server;
};

TEST_F(JackProcess, ListMarksTheSimulatorsPortsInBothDirections) {
  auto device = StartDevice({});
  const ChildResult result = RunChild({kCliPath, "--list"}, 30s);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  bool in = false;
  bool out = false;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    if (!Contains(line, "DAXO Tarn Series")) continue;
    EXPECT_EQ(line.substr(line.size() - 3), "  *") << line;
    in = in || line.rfind("in ", 0) == 0;
    out = out || line.rfind("out ", 0) == 0;
  }
  EXPECT_TRUE(in) << result.out;
  EXPECT_TRUE(out) << result.out;
}

TEST_F(JackProcess, FullUpdateWithRealTimingLeavesTheImagesInFlash) {
  auto device = StartDevice({"--exit-after-finish"});
  const std::string trace = TempFile("trace.txt");
  const auto start = std::chrono::steady_clock::now();
  const ChildResult result = RunChild({kCliPath, "--trace", trace}, kUpdateLimit);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  ASSERT_TRUE(result.ended) << result.out.substr(result.out.size() > 500 ? result.out.size() - 500
                                                                         : 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "Version update completed.")) << result.err;
  // The stand-in set on tarn-device-sim's ports: allowed by the tests' opt-in, with its warning.
  EXPECT_EQ(result.standInWarnings, 1);
  EXPECT_EQ(result.out.substr(0, result.out.find('\n')),
            "Firmware: system 2.00, boot 1.00, stand-in set (built in)");
  RecordProperty("full_update_seconds", std::to_string(seconds.count()));
  std::printf("full update over JACK: %.1f s\n", seconds.count());

  // The device ends by itself after the update and judges its own flash.
  const ChildResult deviceResult = device->Wait(30s);
  EXPECT_EQ(deviceResult.exitCode, 0) << deviceResult.out << deviceResult.err;
  EXPECT_TRUE(Contains(deviceResult.out, "\nflash ok: 5 regions (7714464 bytes) match"))
      << deviceResult.out;

  const auto lines = ReadTrace(trace);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().text, "> F0 7E 00 06 01 F7");
  EXPECT_EQ(lines.back().text, "< F0 52 00 6E 00 00 F7");
  unlink(trace.c_str());
}

const std::string kStandInRefused =
    "Error: This updater carries only the stand-in firmware image set, which would leave a real "
    "device unable to start, so nothing was sent to the device. Give it the device maker's image "
    "set with --firmware PATH (see the README).\n";

TEST_F(JackProcess, WithoutTheOptInTheStandInSetIsRefusedAndNothingIsSent) {
  auto device = StartDevice({});
  const std::string trace = TempFile("trace.txt");
  const ChildResult one = RunChild({kCliPath, "--trace", trace}, 30s, StandIn::kNotAllowed);
  EXPECT_EQ(one.exitCode, 5) << one.out << one.err;
  EXPECT_EQ(one.err, kStandInRefused);
  EXPECT_TRUE(ReadTrace(trace).empty());  // not even the identity request
  unlink(trace.c_str());
  const ChildResult all = RunChild({kCliPath, "--all"}, 30s, StandIn::kNotAllowed);
  EXPECT_EQ(all.exitCode, 5) << all.out << all.err;
  EXPECT_EQ(all.err, kStandInRefused);
  EXPECT_EQ(all.out, "");
  EXPECT_TRUE(Contains(DeviceSummary(*device), "\nwrite requests: 0"));
}

// A real set given at run time needs no opt-in, and tarn-device-sim checks its flash against
// the same set.
class JackRealSet : public JackProcess {
 protected:
  void SetUp() override {
    JackProcess::SetUp();
    m_folder = TempFile("set");
    WriteImageFolder(m_folder, RandomImages(5));
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }

  void ExpectUpdateWith(const std::string& set, const std::string& description) {
    auto device = StartDevice({"--exit-after-finish", "--firmware", set});
    const ChildResult result =
        RunChild({kCliPath, "--firmware", set}, kUpdateLimit, StandIn::kNotAllowed);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.standInWarnings, 0);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')),
              "Firmware: system 3.10, boot 1.05, image set (" + description + ")");
    const ChildResult deviceResult = device->Wait(30s);
    EXPECT_EQ(deviceResult.exitCode, 0) << deviceResult.out << deviceResult.err;
    EXPECT_TRUE(Contains(deviceResult.out, "\nflash ok: ")) << deviceResult.out;
  }

  std::string m_folder;
};

TEST_F(JackRealSet, FromAFolderFillsTheFlashWithThoseImages) {
  ExpectUpdateWith(m_folder, "folder " + m_folder);
}

TEST_F(JackRealSet, FromAWindowsProgramBuiltWithWindres) {
  const std::string program = m_folder + "/updater.exe";
  std::string error;
  if (!BuildBinProgram(m_folder, program, &error)) GTEST_SKIP() << error;
  ExpectUpdateWith(program, "Windows program " + program);
}

TEST_F(JackRealSet, BadSetsAreRefusedBeforeAnyPortIsOpened) {
  auto device = StartDevice({});
  const std::string shortFolder = m_folder + "/short";
  auto images = RandomImages(6);
  images[133].pop_back();
  WriteImageFolder(shortFolder, images);
  const std::string text = m_folder + "/notes.txt";
  std::ofstream(text) << "not a program\n";
  const struct {
    std::string path;
    std::string error;
  } cases[] = {{shortFolder, "image 133 is 118783 bytes; it must be 118784"},
               {text, "not a folder of images and not a Windows program"}};
  for (const auto& c : cases) {
    const std::string trace = TempFile("trace.txt");
    const ChildResult result =
        RunChild({kCliPath, "--firmware", c.path, "--trace", trace}, 30s, StandIn::kNotAllowed);
    EXPECT_EQ(result.exitCode, 2) << c.path;
    EXPECT_EQ(result.err, "Error: --firmware " + c.path + ": " + c.error + "\n");
    // Refused before the trace file, let alone a port, was opened.
    EXPECT_FALSE(std::filesystem::exists(trace)) << c.path;
  }
  EXPECT_TRUE(Contains(DeviceSummary(*device), "\nwrite requests: 0"));
}

// One table of what the MIDI path and the device can do wrong, the update run as a user runs
// it (no option: each area read back as it is written): a device that is not the one or not
// ready, answers late, twice, lost or left over from a stopped run, blocks refused, not stored
// or stored wrong, reads late or refused. Each ends with the images in the flash and exit 0 (4
// where the device cannot read back), or with an error and exit 1: never success over a wrong
// flash.
struct FlashFault {
  const char* name;
  std::vector<std::string> deviceArgs;
  int exitCode = kEitherWay;  // what it must end with, or either 0 or 1
  // The exact error, where the update must stop before the flash holds anything of the set.
  std::optional<std::string> error = std::nullopt;
  bool stoppedRunFirst = false;  // a run stopped while an answer is held back comes first
  static constexpr int kEitherWay = -1;
};

using test::PrintTo;

std::string RowName(const ::testing::TestParamInfo<FlashFault>& info) {
  return info.param.name;
}

// tarn-device-sim's arguments for these fault rules.
std::vector<std::string> Faults(std::initializer_list<const char*> rules) {
  std::vector<std::string> args;
  for (const char* rule : rules) {
    args.push_back("--fault");
    args.push_back(rule);
  }
  return args;
}

class JackFlashFault : public JackProcess, public ::testing::WithParamInterface<FlashFault> {};

TEST_P(JackFlashFault, EndsWithTheFlashRightOrWithAnError) {
  const FlashFault& fault = GetParam();
  auto device = StartDevice(fault.deviceArgs);
  if (fault.stoppedRunFirst) {
    ChildProcess first({kCliPath});
    ASSERT_TRUE(first.WaitForLine("3/10 Data transmit", 60s)) << first.Out();
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(20s).exitCode, 130);
  }
  const std::string trace = TempFile("trace.txt");
  const ChildResult result = RunChild({kCliPath, "--trace", trace}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  int deviceExit = -1;
  const std::string summary = DeviceSummary(*device, &deviceExit);
  RecordProperty("outcome", result.exitCode == 0 ? "completed" : result.err);
  if (fault.exitCode != FlashFault::kEitherWay) {
    EXPECT_EQ(result.exitCode, fault.exitCode) << result.err;
  }
  if (result.exitCode == 0 || result.exitCode == 4) {
    EXPECT_TRUE(Contains(result.out, "Version update completed.")) << result.out;
    EXPECT_EQ(summary.rfind("flash ok: ", 0), 0u) << summary;
    EXPECT_EQ(deviceExit, 0);
    EXPECT_EQ(result.err, result.exitCode == 0 ? ""
                                               : "The device cannot read its flash back: the "
                                                 "update was not verified.\n");
  } else {
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_FALSE(Contains(result.out, "Version update completed.")) << result.out;
    if (fault.error) {
      EXPECT_EQ(result.err, *fault.error);
      EXPECT_EQ(summary.rfind("flash wrong: ", 0), 0u) << summary;
      EXPECT_EQ(deviceExit, 1);
    } else {
      EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
    }
  }
  // Read back unless the device refused the first read: the boot version and each block.
  size_t reads = 0;
  for (const TraceLine& line : ReadTrace(trace)) {
    const std::vector<uint8_t> message(line.bytes.begin(), line.bytes.end());
    if (line.direction == '>' && ParseReadFlash(message)) ++reads;
  }
  if (result.exitCode == 0) {
    EXPECT_GT(reads, 1000u);
  }
  unlink(trace.c_str());
}

// The devices that stop the update before a block is written: no waiting, so the sanitizer
// builds run them too.
INSTANTIATE_TEST_SUITE_P(
    Refused, JackFlashFault,
    ::testing::Values(
        FlashFault{"NotInUpdateMode",
                   {"--not-update-mode"},
                   1,
                   "Error: Please use the firmware update mode.\n"},
        FlashFault{
            "EveryBlockRefused", {"--refuse-blocks", "1"}, 1, "Error: Transfer error occurred.\n"},
        FlashFault{"RefusedIdentity",
                   {"--identity", "6E 00 02 00"},
                   1,
                   "Error: Illegal device connected.\n"},
        // A failed boot read-back gives up without a box of its own.
        FlashFault{"BootReadBackRefused", Faults({"status=1,kind=read,count=all"}), 1, ""}),
    RowName);

// Seconds of real waiting each: run once, in the release build.
INSTANTIATE_TEST_SUITE_P(
    Faults, JackFlashFault,
    ::testing::Values(
        FlashFault{"Clean", {}, 0},
        // Late answers, each with a refused block after it.
        FlashFault{"LateBy1200ms",
                   Faults({"delay=1200,kind=write,skip=20", "status=1,kind=write,skip=22"})},
        FlashFault{"LateBy5s",
                   Faults({"delay=5000,kind=write,skip=20", "status=1,kind=write,skip=30"})},
        FlashFault{"LateBy29s",
                   Faults({"delay=29000,kind=write,skip=20", "status=1,kind=write,skip=40"})},
        FlashFault{"ErasedLate",
                   Faults({"delay=1200,kind=erase,skip=1", "status=1,kind=write,skip=0"})},
        // Later than the settle time, while the answers behind it come.
        FlashFault{"LateBeyondTheSettle",
                   Faults({"late=7000,kind=write,skip=40", "status=1,kind=write,skip=44"}), 0},
        FlashFault{"AnsweredTwice",
                   Faults({"duplicate,kind=write,skip=20", "status=1,kind=write,skip=21"})},
        // The copy comes 30 ms later and confirms the next block, which never reached the
        // device: the counts balance, and only the read-back finds the block missing.
        FlashFault{"AnsweredTwiceThenOneLost",
                   Faults({"duplicate=30,kind=write,skip=20", "ignore,kind=write,skip=21"}), 0},
        FlashFault{"AnswerDropped",
                   Faults({"drop,kind=write,skip=20", "status=1,kind=write,skip=21"})},
        FlashFault{"AnswersOfAStoppedRun",
                   Faults({"delay=3000,kind=write,skip=60", "status=1,kind=write,skip=62"}),
                   FlashFault::kEitherWay, std::nullopt, true},
        // Found erased, written again and read again.
        FlashFault{"OneBlockNotStored", Faults({"lie,skip=10"}), 0},
        // Found wrong: the area is erased and written again.
        FlashFault{"OneBlockStoredWrong", Faults({"store-wrong,skip=40"}), 0},
        // The read is tried again; the late reply and the new one fill the buffer once.
        FlashFault{"ReadReplyLate", Faults({"delay=1500,kind=read,skip=5"}), 0},
        FlashFault{"LargeReadsRefused", {"--read-limit", "4"}, 4}),
    RowName);

// --no-verify: what counting alone makes of a block the device claimed and never stored.
TEST_F(JackProcess, WithoutVerificationALostBlockGoesUnseen) {
  auto device =
      StartDevice(Faults({"duplicate=30,kind=write,skip=20", "ignore,kind=write,skip=21"}));
  const ChildResult result = RunChild({kCliPath, "--no-verify"}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  const std::string summary = DeviceSummary(*device);
  // Why the read-back is on by default: nothing else can tell.
  if (result.exitCode == 0) {
    EXPECT_EQ(summary.rfind("flash wrong: ", 0), 0u) << summary;
  } else {
    EXPECT_EQ(result.err, "Error: Transfer error occurred.\n");
  }
}

TEST_F(JackProcess, ServerGoneEndsTheUpdateAtOnce) {
  auto device = StartDevice({});
  const std::string trace = TempFile("trace.txt");
  ChildProcess cli({kCliPath, "--trace", trace});
  ASSERT_TRUE(cli.WaitForLine("3/10 Data transmit", 60s)) << cli.Out();
  const auto stopped = std::chrono::steady_clock::now();
  m_server->Stop();
  const ChildResult result = cli.Wait(kUpdateLimit);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Error: Can't open MIDI Out device.\n");
  RecordProperty("seconds_to_fail", std::to_string(seconds));
  // A send into a port that is gone ends the update, where a device that merely stalls gets 32
  // resends. A block already handed to the server as it stopped is waited for once.
  std::set<uint32_t> written;
  int resends = 0;
  for (const TraceLine& line : ReadTrace(trace)) {
    const std::vector<uint8_t> message(line.bytes.begin(), line.bytes.end());
    if (line.direction != '>') continue;
    if (const auto block = ParseWriteBlock(message))
      resends += written.insert(block->address).second ? 0 : 1;
  }
  EXPECT_FALSE(written.empty());
  EXPECT_LE(resends, 1);
  unlink(trace.c_str());
}

// A device that goes while the updater waits for its answer, with no send in flight, ends the
// update as a failed send does, not at the end of the wait with a time-out.
TEST_F(JackProcess, DeviceGoneDuringAnEraseWaitEndsTheUpdateAtOnce) {
  auto device = StartDevice({"--fault", "delay=50000,kind=erase"});
  const std::string trace = TempFile("trace.txt");
  ChildProcess cli({kCliPath, "--trace", trace});
  ASSERT_TRUE(cli.WaitForLine("0/10 Erasing", 60s)) << cli.Out();
  // The erase request follows its step line at once; its answer would take 50 s.
  std::this_thread::sleep_for(1s);
  device->Signal(SIGKILL);
  const auto gone = std::chrono::steady_clock::now();
  // Well inside the erase's wait of 60 s. The program's end may take longer: jackd (--sync)
  // answers no client until it has cleared the killed one away.
  EXPECT_TRUE(cli.WaitForError("Error: Can't open MIDI Out device.\n", 10s)) << cli.Err();
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - gone).count();
  RecordProperty("seconds_to_fail", std::to_string(seconds));
  const ChildResult result = cli.Wait(kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Error: Can't open MIDI Out device.\n");
  // It was the wait that ended: the erase had gone out, and nothing was sent after it.
  const std::vector<TraceLine> lines = ReadTrace(trace);
  ASSERT_FALSE(lines.empty());
  const std::vector<uint8_t> last(lines.back().bytes.begin(), lines.back().bytes.end());
  EXPECT_EQ(lines.back().direction, '>');
  EXPECT_TRUE(ParseEraseFlash(last)) << lines.back().text;
  unlink(trace.c_str());
}

TEST_F(JackProcess, AllUpdatesEveryDeviceAndNamesTheOneThatFailed) {
  auto devices = StartDevice({"--count", "4", "--faults-on", "3", "--refuse-blocks", "1"});
  ASSERT_TRUE(devices->WaitForLine("ready DAXO Tarn Series (4)", kStartLimit)) << devices->Out();
  const ChildResult result = RunChild({kCliPath, "--all"}, kUpdateLimit);
  ASSERT_TRUE(result.ended);
  EXPECT_EQ(result.exitCode, 1) << "signal " << result.signal << "\n" << result.out << result.err;
  EXPECT_EQ(result.err, "DAXO Tarn Series (3): Error: Transfer error occurred.\n");
  // The summary: one row per device, the failed one with its text and its resent blocks.
  const size_t table = result.out.find("\nDevice ");
  ASSERT_NE(table, std::string::npos) << result.out;
  std::istringstream rows(result.out.substr(table + 1));
  std::vector<std::string> lines;
  for (std::string line; std::getline(rows, line);)
    lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u) << result.out.substr(table);
  for (const size_t row : {1, 2, 4})
    EXPECT_TRUE(Contains(lines[row], "  Version update completed.  ")) << lines[row];
  EXPECT_EQ(lines[3].rfind("DAXO Tarn Series (3)  Transfer error occurred.  ", 0), 0u) << lines[3];
  EXPECT_NE(lines[3].substr(lines[3].size() - 3), "  0") << lines[3];

  devices->Signal(SIGTERM);
  const ChildResult device = devices->Wait(20s);
  EXPECT_EQ(device.exitCode, 1);
  for (const char* name :
       {"DAXO Tarn Series: ", "DAXO Tarn Series (2): ", "DAXO Tarn Series (4): "})
    EXPECT_TRUE(Contains(device.out, std::string("\n") + name + "flash ok: ")) << device.out;
  EXPECT_TRUE(Contains(device.out, "\nDAXO Tarn Series (3): flash wrong: ")) << device.out;
}

TEST_F(JackProcess, SecondUpdaterOfOneDeviceRefusesAtOnceNamingTheFirst) {
  auto device = StartDevice({"--exit-after-finish"});
  ChildProcess first({kCliPath});
  ASSERT_TRUE(first.WaitForLine("1/10", 30s)) << first.Err();
  const auto start = std::chrono::steady_clock::now();
  const ChildResult second = RunChild({kCliPath}, 30s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(second.exitCode, 3);
  EXPECT_EQ(
      second.err.rfind("Error: Can't open MIDI Out device. The device is held by process ", 0), 0u)
      << second.err;
  EXPECT_TRUE(Contains(second.err, " (tarn-updater-cli).")) << second.err;
  EXPECT_FALSE(Contains(second.out, "/10")) << second.out;

  const ChildResult result = first.Wait(kUpdateLimit);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "10/10 Version update completed.")) << result.out;
  EXPECT_EQ(device->Wait(30s).exitCode, 0);
}

TEST_F(JackProcess, UnknownPortIsAUsageError) {
  auto device = StartDevice({});
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--in", "Nope"}, std::vector<std::string>{"--out", "99"}}) {
    std::vector<std::string> argv{kCliPath};
    argv.insert(argv.end(), args.begin(), args.end());
    const ChildResult result = RunChild(argv, 30s);
    EXPECT_EQ(result.exitCode, 2) << args.back();
    EXPECT_EQ(result.err.rfind("Error: no MIDI ", 0), 0u) << result.err;
  }
  // Nothing reached the device.
  EXPECT_EQ(DeviceSummary(*device).rfind("flash wrong: ", 0), 0u);
}

}  // namespace
}  // namespace tarn::test
