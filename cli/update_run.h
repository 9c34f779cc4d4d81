// What tarn-updater-cli does with its options: list the ports, or run one update and say how
// it ended. Returns the process's exit code.
#pragma once

#include "cli/cli_options.h"

namespace tarn::cli {

int RunCommandLine(const CliOptions& options);

}  // namespace tarn::cli
