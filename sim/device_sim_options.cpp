#include "sim/device_sim_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "sysex/messages.h"

namespace tarn::sim {
namespace {

constexpr int kExitUsage = 2;

constexpr char kDescription[] =
    "A virtual DAXO Tarn Series device on JACK MIDI ports (or, with --alsa, on an ALSA\n"
    "rawmidi device), for demos and tests. Prints \"ready <name>\" once its ports listen.\n"
    "On exit (after the update with --exit-after-finish, or on SIGINT/SIGTERM) it prints one\n"
    "line saying whether its flash holds the image set (built in, or --firmware's) and one\n"
    "counting the WriteBlock requests it received, and exits 0 only if the flash holds the set.";

constexpr char kFaultHelp[] =
    "Fault rule, repeatable, applied in order: an action, then ,kind=identity|begin|erase|"
    "write|read|finish|unknown ,at=ADDRESS (only requests naming that flash address, decimal "
    "or 0x-hex) ,over=N (only reads of more than N bytes) ,skip=N ,count=N|all. Actions: drop (the "
    "answer is lost); "
    "duplicate (the answer comes twice, back to back; duplicate=MS: the copy MS milliseconds "
    "later, out of the stream); ignore (neither carried out nor "
    "answered); status=N (refused with status N); delay=MS (the answer held back MS "
    "milliseconds, up to 60000; the device's answers leave it in order, one stream, first in "
    "first out, so the answers behind a held-back one wait for it); late=MS (the answer held "
    "back MS milliseconds out of the stream, as a MIDI server that falls behind may deliver "
    "it: the answers behind it do not wait); corrupt-crc (a read reply with a wrong "
    "checksum); lie (a block answered with status 0 and not stored); store-wrong (a block "
    "stored with one byte wrong and answered with status 0); "
    "refuse-read=N and short-read=N (a read of more than N bytes refused with status 0x02, or "
    "answered with only its first N bytes; reads of N bytes or fewer are not counted); done "
    "(answered with a Done message, nothing carried out); cut=N (the answer cut after N "
    "bytes and closed); stale (the answer comes after two status 0 answers and a Done left "
    "from an earlier run). "
    "E.g. \"drop,count=3\" (lose three answers), \"ignore,skip=99,count=all\" (silent from the "
    "100th request), \"lie,skip=10\" (the 11th block is lost)";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const int lower = std::tolower(static_cast<unsigned char>(c));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// A CLI11 check from one of the parsers below.
template <typename Parser>
CLI::Validator Checked(Parser parse, const std::string& what) {
  return CLI::Validator(
      [parse, what](std::string& text) {
        return parse(text) ? std::string() : text + " is not " + what;
      },
      "");
}

// A card, device or subdevice number: decimal digits only.
std::optional<int> ParseNumber(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::string DeviceSimName(const DeviceSimOptions& options, int number) {
  return number == 1 ? options.clientName
                     : options.clientName + " (" + std::to_string(number) + ")";
}

DeviceConfig DeviceSimConfig(const DeviceSimOptions& options, int number) {
  const auto& on = options.faultsOn;
  if (on.empty() || std::find(on.begin(), on.end(), number) != on.end()) return options.device;
  DeviceConfig plain;
  plain.linkRate = options.device.linkRate;
  plain.latency = options.device.latency;
  return plain;
}

std::optional<std::string> ParseAlsaDeviceId(const std::string& text) {
  constexpr std::string_view kPrefix = "hw:";
  if (text.rfind(kPrefix, 0) != 0) return std::nullopt;
  std::vector<int> numbers;
  size_t start = kPrefix.size();
  for (;;) {
    const size_t comma = text.find(',', start);
    const auto number = ParseNumber(text.substr(start, comma - start));
    if (!number) return std::nullopt;
    numbers.push_back(*number);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (numbers.size() == 2) numbers.push_back(0);
  if (numbers.size() != 3) return std::nullopt;
  return "hw:" + std::to_string(numbers[0]) + "," + std::to_string(numbers[1]) + "," +
         std::to_string(numbers[2]);
}

std::optional<Identity> ParseIdentity(const std::string& text) {
  std::string digits;
  for (const char c : text) {
    if (c == ' ') continue;
    if (HexValue(c) < 0) return std::nullopt;
    digits += c;
  }
  if (digits.size() != 8) return std::nullopt;
  Identity identity{};
  for (size_t i = 0; i < identity.size(); ++i) {
    const int value = HexValue(digits[2 * i]) * 16 + HexValue(digits[2 * i + 1]);
    // Sent inside a SysEx message: data bytes only.
    if (value >= 0x80) return std::nullopt;
    identity[i] = static_cast<uint8_t>(value);
  }
  return identity;
}

std::optional<VersionText> ParseVersionText(const std::string& text) {
  VersionText version{};
  if (text.size() != version.size()) return std::nullopt;
  for (size_t i = 0; i < version.size(); ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c >= 0x80) return std::nullopt;
    version[i] = c;
  }
  return version;
}

ParsedDeviceSimOptions ParseDeviceSimOptions(int argc, const char* const* argv, std::ostream& out,
                                             std::ostream& err) {
  CLI::App app{kDescription, "tarn-device-sim"};
  DeviceSimOptions options;
  std::string identity;
  std::string version;
  std::string bootVersion;
  double latencyMs = 0;
  bool notInUpdateMode = false;
  int refuseStatus = -1;
  uint32_t readLimit = 0;
  std::string readLimitMode = "refuse";
  std::vector<std::string> faults;

  std::string alsaDevice;
  auto* nameOption =
      app.add_option("--name", options.clientName, "JACK client name (the device's port name)")
          ->capture_default_str();
  auto* alsaOption =
      app.add_option("--alsa", alsaDevice,
                     "Answer on this ALSA rawmidi device (hw:C,D,S or hw:C,D) instead of JACK")
          ->check(Checked(ParseAlsaDeviceId, "hw:C,D or hw:C,D,S"))
          ->excludes(nameOption);
  auto* identityOption =
      app.add_option("--identity", identity, "Identity bytes, e.g. \"6E 00 04 00\"")
          ->check(Checked(ParseIdentity, "four hex bytes below 80"));
  auto* versionOption =
      app.add_option("--device-version", version, "Software version in the identity reply")
          ->check(Checked(ParseVersionText, "four characters"));
  auto* bootOption = app.add_option("--boot-version", bootVersion,
                                    "Boot area's version text at start (default: erased)")
                         ->check(Checked(ParseVersionText, "four characters"));
  app.add_flag("--not-update-mode", notInUpdateMode,
               "Not in firmware update mode: BeginUpdate is answered with status 0x0B");
  app.add_option("--latency", latencyMs, "Milliseconds from a request to its answer")
      ->check(CLI::Range(0.0, 60000.0));
  app.add_option("--link-rate", options.device.linkRate,
                 "Bytes per second in each direction (0: no link time)");
  app.add_option("--refuse-blocks", refuseStatus,
                 "Answer every WriteBlock with this status (1..127) and write nothing")
      ->check(CLI::Range(1, 127));
  auto* readLimitOption =
      app.add_option("--read-limit", readLimit,
                     "Reads of more than this many bytes are refused (status 0x02) or answered "
                     "short, as --read-limit-mode says")
          ->check(CLI::Range(0, kMaxLen2));
  app.add_option("--read-limit-mode", readLimitMode,
                 "refuse: such reads are answered with status 0x02; short: with a read reply of "
                 "only the first --read-limit bytes")
      ->check(CLI::IsMember({"refuse", "short"}))
      ->needs(readLimitOption)
      ->capture_default_str();
  app.add_option("--fault", faults, kFaultHelp)
      ->check(Checked([](const std::string& text) { return ParseFaultRule(text).has_value(); },
                      "a fault rule"));
  app.add_flag("--exit-after-finish", options.exitAfterFinish,
               "Exit once the update's FinishUpdate has been answered (by every device)");
  std::string firmwarePath;
  auto* firmwareOption =
      app.add_option("--firmware", firmwarePath,
                     "The image set the flash is checked against: a folder holding 129.bin ... "
                     "142.bin or a Windows updater carrying them as BIN resources (default: the "
                     "built-in set)")
          ->type_name("PATH");
  auto* countOption =
      app.add_option("--count", options.count,
                     "Devices on the JACK server: the --name, then the --name followed by "
                     "\" (2)\", ... each with its own flash and faults")
          ->check(CLI::Range(1, kMaxDeviceSimCount))
          ->excludes(alsaOption);
  app.add_option("--faults-on", options.faultsOn,
                 "With --count: the devices (1 = the first) that the identity, version and "
                 "fault options apply to; the others are plain devices (default: all)")
      ->delimiter(',')
      ->check(CLI::Range(1, kMaxDeviceSimCount))
      ->needs(countOption);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, err);
    return {std::nullopt, code == 0 ? 0 : kExitUsage};
  }
  if (firmwareOption->count() > 0) options.firmwarePath = firmwarePath;
  if (alsaOption->count() > 0) options.alsaDevice = ParseAlsaDeviceId(alsaDevice);
  if (identityOption->count() > 0) options.device.device.identity = *ParseIdentity(identity);
  if (versionOption->count() > 0) options.device.device.version = *ParseVersionText(version);
  if (bootOption->count() > 0) options.device.device.bootVersion = ParseVersionText(bootVersion);
  options.device.updateMode = !notInUpdateMode;
  options.device.latency =
      std::chrono::microseconds(static_cast<int64_t>(latencyMs * 1000.0 + 0.5));
  if (refuseStatus > 0) {
    options.device.faults.push_back(FaultRule::AnswerWithStatus(
        RequestKind::kWriteBlock, static_cast<uint8_t>(refuseStatus), kForever));
  }
  if (readLimitOption->count() > 0) {
    options.device.faults.push_back(FaultRule::LimitReads(
        readLimitMode == "short" ? FaultAction::kShortRead : FaultAction::kRefuseRead, readLimit));
  }
  for (const std::string& fault : faults)
    options.device.faults.push_back(*ParseFaultRule(fault));
  return {options, 0};
}

}  // namespace tarn::sim
