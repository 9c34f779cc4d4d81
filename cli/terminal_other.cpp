// Where a terminal cannot be asked portably, progress goes out as plain lines.
#include "cli/terminal.h"

namespace tarn::cli {

bool IsTerminal(std::FILE*) {
  return false;
}

size_t TerminalColumns(std::FILE*) {
  return 80;
}

// Nothing here is ever taken for a terminal, and no hang-up signal exists to call this.
void SilenceStream(std::FILE*) {}

}  // namespace tarn::cli
