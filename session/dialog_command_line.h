// The updater dialog's command line, the same for Qt and Win32: its one option, --firmware
// PATH, and --help and --version for the manual pages.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarn {

struct DialogCommandLine {
  std::optional<std::string> firmwarePath;
  bool help = false;
  bool version = false;
  std::string error;  // set: a usage error, exit code 2
};

// `args` without the program's name.
DialogCommandLine ParseDialogCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string DialogUsage();

}  // namespace tarn
