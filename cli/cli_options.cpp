#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "firmware/embedded_images.h"
#include "resources/product.h"

namespace tarn::cli {
namespace {

std::string Description() {
  return std::string("Updates the firmware of a ") + kDeviceName +
         " device over MIDI, as the tarn-updater dialog does.\nWithout --in and --out it picks "
         "the ports the dialog would preselect.";
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err) {
  CLI::App app{Description(), "tarn-updater-cli"};
  app.set_version_flag("--version", std::string("tarn-updater-cli ") + TARN_VERSION + " (" +
                                        kProgramTitle +
                                        ")\nBuilt-in firmware: " + DescribeSet(EmbeddedImages()));
  CliOptions options;
  std::string inPort;
  std::string outPort;
  std::string tracePath;
  auto* list = app.add_flag("--list", options.list,
                            "List the MIDI IN and OUT ports; * marks the one picked by default");
  auto* all = app.add_flag("--all", options.all,
                           "Update every connected device at once (with --list: show the "
                           "devices it would take)");
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
  auto* quiet = app.add_flag("-q,--quiet", options.quiet, "No progress output; errors only");
  auto* json = app.add_flag("--json", options.json,
                            "One JSON object per line on stdout for every event and the outcome");
  bool verify = false;
  bool noVerify = false;
  auto* verifyOption = app.add_flag("--verify", verify,
                                    "Read each area back and compare it right after writing it, "
                                    "before the next is erased (the default; exit code 4 when "
                                    "the device cannot read back)");
  auto* noVerifyOption =
      app.add_flag("--no-verify", noVerify, "Write without reading anything back")
          ->excludes(verifyOption);
  std::string firmwarePath;
  auto* firmware =
      app.add_option("--firmware", firmwarePath,
                     "The device maker's image set: a folder holding 129.bin 133.bin 136.bin "
                     "139.bin 142.bin, or a Windows updater carrying them as BIN resources. "
                     "Without it the built-in set is used; the stand-in set is refused on real "
                     "devices")
          ->type_name("PATH");
  auto* firmwareInfo =
      app.add_flag("--firmware-info", options.firmwareInfo,
                   "Print the image set (source, stand-in or not, versions, each image's id, "
                   "size and SHA-256) and exit; with --json as one object");
  firmwareInfo->excludes(list)
      ->excludes(all)
      ->excludes(in)
      ->excludes(outOption)
      ->excludes(trace)
      ->excludes(simulate)
      ->excludes(verifyOption)
      ->excludes(noVerifyOption)
      ->excludes(quiet);
  list->excludes(in)
      ->excludes(outOption)
      ->excludes(trace)
      ->excludes(json)
      ->excludes(verifyOption)
      ->excludes(noVerifyOption);
  json->excludes(quiet);
  all->excludes(in)->excludes(outOption)->excludes(trace);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, err);
    return {std::nullopt, code == 0 ? kExitCompleted : kExitUsage};
  }
  options.verify = !noVerify;
  if (in->count() > 0) options.inPort = inPort;
  if (outOption->count() > 0) options.outPort = outPort;
  if (trace->count() > 0) options.tracePath = tracePath;
  if (firmware->count() > 0) options.firmwarePath = firmwarePath;
  return {options, kExitCompleted};
}

}  // namespace tarn::cli
