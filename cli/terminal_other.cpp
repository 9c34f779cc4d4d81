// Where a terminal cannot be asked portably, progress goes out as plain lines.
#include "cli/terminal.h"

namespace tarn::cli {

bool IsTerminal(std::FILE*) {
  return false;
}

size_t TerminalColumns(std::FILE*) {
  return 80;
}

}  // namespace tarn::cli
