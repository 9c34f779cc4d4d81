// Both programs' command lines: what is accepted, what it means, and what is a usage error.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "sim/device_sim_options.h"

namespace tarn {
namespace {

template <typename Parse>
auto ParseWith(Parse parse, const std::string& program, std::vector<std::string> args,
               std::string* out = nullptr, std::string* err = nullptr) {
  args.insert(args.begin(), program);
  std::vector<const char*> argv;
  for (const std::string& arg : args)
    argv.push_back(arg.c_str());
  std::ostringstream outStream;
  std::ostringstream errStream;
  auto parsed = parse(static_cast<int>(argv.size()), argv.data(), outStream, errStream);
  if (out) *out = outStream.str();
  if (err) *err = errStream.str();
  return parsed;
}

cli::ParsedCommandLine ParseCli(std::vector<std::string> args, std::string* out = nullptr,
                                std::string* err = nullptr) {
  return ParseWith(cli::ParseCommandLine, "tarn-updater-cli", std::move(args), out, err);
}

sim::ParsedDeviceSimOptions ParseSim(std::vector<std::string> args, std::string* out = nullptr) {
  return ParseWith(sim::ParseDeviceSimOptions, "tarn-device-sim", std::move(args), out);
}

TEST(CliOptions, AcceptedCommandLines) {
  const auto none = ParseCli({});
  ASSERT_TRUE(none.options);
  EXPECT_FALSE(none.options->list);
  EXPECT_FALSE(none.options->inPort);
  EXPECT_FALSE(none.options->outPort);
  EXPECT_FALSE(none.options->simulate);
  EXPECT_FALSE(none.options->tracePath);

  const auto ports = ParseCli({"--in", "2", "--out", "DAXO Tarn Series"});
  ASSERT_TRUE(ports.options);
  EXPECT_EQ(ports.options->inPort, "2");
  EXPECT_EQ(ports.options->outPort, "DAXO Tarn Series");

  const auto simulate =
      ParseCli({"--simulate", "--simulate-rate", "76800", "--trace", "t.txt", "--quiet"});
  ASSERT_TRUE(simulate.options);
  EXPECT_TRUE(simulate.options->simulate);
  EXPECT_EQ(simulate.options->simulateRate, 76800u);
  EXPECT_EQ(simulate.options->tracePath, "t.txt");
  EXPECT_TRUE(simulate.options->quiet);

  // Verified by default; --verify is still taken, --no-verify turns it off.
  EXPECT_TRUE(simulate.options->verify);
  const auto verify = ParseCli({"--verify"});
  ASSERT_TRUE(verify.options);
  EXPECT_TRUE(verify.options->verify);
  const auto noVerify = ParseCli({"--no-verify"});
  ASSERT_TRUE(noVerify.options);
  EXPECT_FALSE(noVerify.options->verify);

  const auto list = ParseCli({"--list"});
  ASSERT_TRUE(list.options);
  EXPECT_TRUE(list.options->list);
  EXPECT_FALSE(list.options->firmwarePath);

  const auto firmware = ParseCli({"--firmware", "/opt/set", "--all"});
  ASSERT_TRUE(firmware.options);
  EXPECT_EQ(firmware.options->firmwarePath, "/opt/set");
  const auto info = ParseCli({"--firmware-info", "--firmware", "up.exe", "--json"});
  ASSERT_TRUE(info.options);
  EXPECT_TRUE(info.options->firmwareInfo);
  EXPECT_TRUE(info.options->json);

  const auto sim = ParseSim({"--firmware", "/opt/set"});
  ASSERT_TRUE(sim.options);
  EXPECT_EQ(sim.options->firmwarePath, "/opt/set");
}

TEST(CliOptions, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases{
      {"--bogus"},
      {"--in"},
      {"--simulate-rate", "1000"},  // only with --simulate
      {"--simulate", "--simulate-rate", "fast"},
      {"--simulate", "--simulate-rate", "-5"},
      {"--list", "--in", "0"},
      {"--list", "--trace", "t.txt"},
      {"--list", "--verify"},
      {"--firmware"},
      {"--firmware-info", "--all"},
      {"--firmware-info", "--simulate"},
      {"--list", "--no-verify"},
      {"--verify", "--no-verify"},
      {"extra"},
  };
  for (const auto& args : cases) {
    std::string err;
    const auto parsed = ParseCli(args, nullptr, &err);
    EXPECT_FALSE(parsed.options) << args.front();
    EXPECT_EQ(parsed.exitCode, cli::kExitUsage) << args.front();
    EXPECT_FALSE(err.empty()) << args.front();
  }
}

TEST(CliOptions, HelpAndVersionExitWithZero) {
  for (const std::string flag : {"--help", "--version"}) {
    std::string out;
    const auto parsed = ParseCli({flag}, &out);
    EXPECT_FALSE(parsed.options) << flag;
    EXPECT_EQ(parsed.exitCode, 0) << flag;
    EXPECT_NE(out.find("tarn-updater-cli"), std::string::npos) << flag;
  }
  // --version says which set is built in.
  std::string version;
  ParseCli({"--version"}, &version);
  EXPECT_NE(version.find("Built-in firmware: system 2.00, boot 1.00, stand-in set (built in)"),
            std::string::npos)
      << version;
  std::string help;
  ParseCli({"--help"}, &help);
  for (const char* option :
       {"--list", "--in", "--out", "--simulate", "--simulate-rate", "--trace", "--quiet",
        "--verify", "--no-verify", "--version", "--firmware", "--firmware-info"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(DeviceSimOptions, EveryOptionReachesTheDevice) {
  const auto parsed = ParseSim({"--name",
                                "Other",
                                "--identity",
                                "6E 00 02 00",
                                "--device-version",
                                "0200",
                                "--boot-version",
                                "1.00",
                                "--not-update-mode",
                                "--latency",
                                "2.5",
                                "--link-rate",
                                "3125",
                                "--refuse-blocks",
                                "5",
                                "--read-limit",
                                "64",
                                "--read-limit-mode",
                                "short",
                                "--fault",
                                "drop,kind=erase,count=2",
                                "--exit-after-finish"});
  ASSERT_TRUE(parsed.options);
  const sim::DeviceSimOptions& options = *parsed.options;
  EXPECT_EQ(options.clientName, "Other");
  EXPECT_EQ((options.device.device.identity), (Identity{0x6E, 0x00, 0x02, 0x00}));
  EXPECT_EQ((options.device.device.version), (VersionText{'0', '2', '0', '0'}));
  ASSERT_TRUE(options.device.device.bootVersion);
  EXPECT_EQ((*options.device.device.bootVersion), (VersionText{'1', '.', '0', '0'}));
  EXPECT_FALSE(options.device.updateMode);
  EXPECT_EQ(options.device.latency, std::chrono::microseconds(2500));
  EXPECT_EQ(options.device.linkRate, 3125u);
  EXPECT_TRUE(options.exitAfterFinish);
  ASSERT_EQ(options.device.faults.size(), 3u);
  const sim::FaultRule& refuse = options.device.faults[0];
  EXPECT_EQ(refuse.action, sim::FaultAction::kStatus);
  EXPECT_EQ(refuse.kind, RequestKind::kWriteBlock);
  EXPECT_EQ(refuse.status, 5);
  EXPECT_EQ(refuse.count, sim::kForever);
  const sim::FaultRule& readLimit = options.device.faults[1];
  EXPECT_EQ(readLimit.action, sim::FaultAction::kShortRead);
  EXPECT_EQ(readLimit.kind, RequestKind::kReadFlash);
  EXPECT_EQ(readLimit.readsOver, 64u);
  EXPECT_EQ(readLimit.count, sim::kForever);
  const sim::FaultRule& drop = options.device.faults[2];
  EXPECT_EQ(drop.action, sim::FaultAction::kDropAnswer);
  EXPECT_EQ(drop.kind, RequestKind::kEraseFlash);
  EXPECT_EQ(drop.count, 2);
}

TEST(DeviceSimOptions, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases{
      {"--identity", "6E 00 04"},     {"--identity", "6E 00 04 00 00"},
      {"--identity", "8E 00 04 00"},  {"--identity", "6G 00 04 00"},
      {"--boot-version", "1.0"},      {"--device-version", "01000"},
      {"--refuse-blocks", "0"},       {"--refuse-blocks", "128"},
      {"--fault", "explode"},         {"--latency", "-1"},
      {"--link-rate", "many"},        {"--unknown"},
      {"--read-limit", "16384"},      {"--read-limit", "4", "--read-limit-mode", "cut"},
      {"--read-limit-mode", "short"},  // without a limit
  };
  for (const auto& args : cases) {
    const auto parsed = ParseSim(args);
    EXPECT_FALSE(parsed.options) << args.front() << " " << args.back();
    EXPECT_EQ(parsed.exitCode, 2) << args.front() << " " << args.back();
  }
}

// Every fault action is there for a tester to find, and so is what a held-back answer does to
// the answers behind it.
TEST(DeviceSimOptions, HelpNamesEveryFaultAction) {
  std::string help;
  const auto parsed = ParseSim({"--help"}, &help);
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.exitCode, 0);
  for (const char* text :
       {"drop", "duplicate", "ignore", "status=N", "delay=MS", "corrupt-crc", "lie",
        "refuse-read=N", "short-read=N", "60000", "first out", "--read-limit", "--read-limit-mode"})
    EXPECT_NE(help.find(text), std::string::npos) << text;
}

TEST(DeviceSimOptions, AlsaDeviceIdsTakeTheBackendsForm) {
  struct Case {
    const char* given;
    const char* id;  // nullptr: a usage error
  };
  const std::vector<Case> cases{
      {"hw:0,1", "hw:0,1,0"},
      {"hw:2,0,3", "hw:2,0,3"},
      {"hw:10,11,12", "hw:10,11,12"},
      {"hw:0", nullptr},
      {"hw:0,1,0,0", nullptr},
      {"hw:0,,1", nullptr},
      {"hw:a,1", nullptr},
      {"hw:0,-1", nullptr},
      {"hw:0,1,", nullptr},
      {"hw:0, 1", nullptr},
      {"default", nullptr},
      {"HW:0,1", nullptr},
      {"0,1", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseSim({"--alsa", c.given});
    if (!c.id) {
      EXPECT_FALSE(parsed.options) << c.given;
      EXPECT_EQ(parsed.exitCode, 2) << c.given;
      continue;
    }
    ASSERT_TRUE(parsed.options) << c.given;
    EXPECT_EQ(parsed.options->alsaDevice, c.id) << c.given;
  }
  // The client name belongs to JACK mode.
  EXPECT_FALSE(ParseSim({"--alsa", "hw:0,1", "--name", "Other"}).options);
  const auto jack = ParseSim({});
  ASSERT_TRUE(jack.options);
  EXPECT_FALSE(jack.options->alsaDevice);
  EXPECT_EQ(jack.options->clientName, sim::kDeviceSimClientName);
}

}  // namespace
}  // namespace tarn
