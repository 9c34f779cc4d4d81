// Whether an output stream is a terminal, and how wide it is.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tarn::cli {

bool IsTerminal(std::FILE* stream);
// Columns of the terminal behind `stream`; 80 when it cannot be asked.
size_t TerminalColumns(std::FILE* stream);
// Sends whatever is written to `stream` from now on nowhere: its terminal has hung up, and the
// update it reports on goes on without it. Safe while other threads write to it.
void SilenceStream(std::FILE* stream);

}  // namespace tarn::cli
