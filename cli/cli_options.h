// The command line of tarn-updater-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tarn::cli {

struct CliOptions {
  bool list = false;
  bool all = false;                    // every connected device at once
  std::optional<std::string> inPort;   // index or exact product name
  std::optional<std::string> outPort;  // index or exact product name
  bool simulate = false;
  uint32_t simulateRate = 0;  // bytes per second of the simulated link; 0: no link time
  std::optional<std::string> tracePath;
  bool quiet = false;
  bool json = false;    // JSON lines on stdout instead of the progress display
  bool verify = false;  // read every written area back before finishing
};

struct ParsedCommandLine {
  std::optional<CliOptions> options;  // none: end now with exitCode
  int exitCode = 0;
};

// Help and version go to `out`, usage errors to `err` (exit code 2).
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err);

}  // namespace tarn::cli
