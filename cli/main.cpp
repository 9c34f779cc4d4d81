// tarn-updater-cli: the updater's engine, ports and texts, driven from a terminal or a script.
#include <csignal>
#include <iostream>

#include "cli/cli_options.h"
#include "cli/update_run.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader of the progress that goes away (`| head`) must not end an update half-way: the
  // writes fail and the update goes on.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const tarn::cli::ParsedCommandLine parsed =
      tarn::cli::ParseCommandLine(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  return tarn::cli::RunCommandLine(*parsed.options);
}
