// The progress display's text: one line for a terminal, redrawn in place, and the plain lines
// written when the output is not a terminal.
#pragma once

#include <cstddef>
#include <string>

#include "cli/progress_tracker.h"

namespace tarn::cli {

// "[#####-----]" with `cells` cells between the brackets.
std::string FormatBar(double fraction, size_t cells);
// "812 B/s", "45.3 KiB/s", "1.2 MiB/s".
std::string FormatRate(double bytesPerSecond);
// "0:07", "12:34", "1:02:03".
std::string FormatDuration(double seconds);

// Step, status text, bar, rate and time left, shortened (status first) to fewer than `width`
// columns so that the terminal never wraps it.
std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width);

// "3/10 Erasing Flash memory." for a log: step and status text without trailing blanks.
std::string FormatPlainLine(const std::string& step, const std::string& status);

}  // namespace tarn::cli
