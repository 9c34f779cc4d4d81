#include "session/dialog_command_line.h"

namespace tarn {

DialogCommandLine ParseDialogCommandLine(const std::vector<std::string>& args) {
  static const std::string kFirmware = "--firmware";
  DialogCommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg == kFirmware || arg.rfind(kFirmware + "=", 0) == 0) {
      if (line.firmwarePath) {
        line.error = "--firmware is given twice";
        return line;
      }
      if (arg == kFirmware && i + 1 == args.size()) {
        line.error = "--firmware needs a PATH";
        return line;
      }
      line.firmwarePath = arg == kFirmware ? args[++i] : arg.substr(kFirmware.size() + 1);
    } else {
      line.error = "unknown argument " + arg + "; the only option is --firmware PATH";
      return line;
    }
  }
  return line;
}

std::string DialogUsage() {
  return "Usage: tarn-updater [--firmware PATH]\n"
         "Updates the firmware of a DAXO Tarn Series device from a dialog.\n\n"
         "Options:\n"
         "  --firmware PATH  The device maker's image set: a folder holding 129.bin 133.bin\n"
         "                   136.bin 139.bin 142.bin, or a Windows updater carrying them as BIN\n"
         "                   resources. Without it the built-in set is used; the stand-in set\n"
         "                   updates only the virtual device.\n"
         "  --help           This text.\n"
         "  --version        The program's version and its built-in image set.\n";
}

}  // namespace tarn
