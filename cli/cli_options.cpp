#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"

namespace tarn::cli {
namespace {

constexpr char kDescription[] =
    "Updates the firmware of a DAXO Tarn Series device over MIDI, as the tarn-updater dialog "
    "does.\nWithout --in and --out it picks the ports the dialog would preselect.";

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err) {
  CLI::App app{kDescription, "tarn-updater-cli"};
  app.set_version_flag("--version", std::string("tarn-updater-cli ") + TARN_VERSION +
                                        " (DAXO R5x System v2.00 Updater)");
  CliOptions options;
  std::string inPort;
  std::string outPort;
  std::string tracePath;
  auto* list = app.add_flag("--list", options.list,
                            "List the MIDI IN and OUT ports; * marks the one picked by default");
  auto* in = app.add_option("--in", inPort, "MIDI IN port: index or exact name (see --list)");
  auto* outOption =
      app.add_option("--out", outPort, "MIDI OUT port: index or exact name (see --list)");
  auto* simulate = app.add_flag("--simulate", options.simulate,
                                "Update an in-process virtual device instead of a MIDI port");
  app.add_option("--simulate-rate", options.simulateRate,
                 "Link rate of the virtual device in bytes per second (0: no link time)")
      ->needs(simulate);
  auto* trace = app.add_option("--trace", tracePath,
                               "Write every SysEx message sent (>) and received (<) to FILE")
                    ->type_name("FILE");
  app.add_flag("-q,--quiet", options.quiet, "No progress output; errors only");
  auto* verify = app.add_flag(
      "--verify", options.verify,
      "Read every written area back and compare it before finishing (exit code 4 when the "
      "device cannot read back)");
  list->excludes(in)->excludes(outOption)->excludes(trace)->excludes(verify);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, err);
    return {std::nullopt, code == 0 ? kExitCompleted : kExitUsage};
  }
  if (in->count() > 0) options.inPort = inPort;
  if (outOption->count() > 0) options.outPort = outPort;
  if (trace->count() > 0) options.tracePath = tracePath;
  return {options, kExitCompleted};
}

}  // namespace tarn::cli
