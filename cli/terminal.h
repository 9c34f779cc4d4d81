// Whether an output stream is a terminal, and how wide it is.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tarn::cli {

bool IsTerminal(std::FILE* stream);

// The standard output streams that are terminals. Asked when the program starts: one whose
// terminal has hung up can no longer be asked.
struct TerminalStreams {
  bool out = false;
  bool err = false;
};
inline TerminalStreams StandardTerminals() {
  return {IsTerminal(stdout), IsTerminal(stderr)};
}

// Columns of the terminal behind `stream`; 80 when it cannot be asked.
size_t TerminalColumns(std::FILE* stream);
// Sends whatever is written to `stream` from now on nowhere: its terminal has hung up, and the
// update it reports on goes on without it. Safe while other threads write to it.
void SilenceStream(std::FILE* stream);

}  // namespace tarn::cli
