#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal.h"

namespace tarn::cli {

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

size_t TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void SilenceStream(std::FILE* stream) {
  // Swapping the descriptor underneath leaves the FILE and its lock alone.
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
  dup2(nowhere, fileno(stream));
  close(nowhere);
}

}  // namespace tarn::cli
