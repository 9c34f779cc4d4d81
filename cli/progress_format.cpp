#include "cli/progress_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarn::cli {
namespace {

constexpr size_t kBarCells = 20;
constexpr size_t kNarrowBarCells = 10;

std::string TrimEnd(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.pop_back();
  return text;
}

std::string Join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " " + b;
}

}  // namespace

std::string FormatBar(double fraction, size_t cells) {
  const double clamped = std::clamp(fraction, 0.0, 1.0);
  const auto full = static_cast<size_t>(std::floor(clamped * static_cast<double>(cells)));
  // Built in place: GCC's -O3 misreads the temporaries of a concatenation (-Wrestrict).
  std::string bar(cells + 2, '-');
  bar.front() = '[';
  bar.replace(1, full, full, '#');
  bar.back() = ']';
  return bar;
}

std::string FormatRate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond < 1024) {
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  } else if (bytesPerSecond < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB/s", bytesPerSecond / (1024 * 1024));
  }
  return text;
}

std::string FormatDuration(double seconds) {
  const auto total = static_cast<long long>(std::ceil(std::max(seconds, 0.0)));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width) {
  const size_t limit = width > 0 ? width - 1 : 0;
  const std::string step = snapshot.step;
  std::string status = TrimEnd(snapshot.status);
  std::string tail;
  if (snapshot.bytesPerSecond) tail = FormatRate(*snapshot.bytesPerSecond);
  if (snapshot.secondsLeft) tail = Join(tail, FormatDuration(*snapshot.secondsLeft) + " left");

  // Most useful first: the step and the status text, then the rate and time left; the bar
  // narrows first and goes first.
  struct Layout {
    size_t cells;
    bool withTail;
  };
  for (const Layout layout : {Layout{kBarCells, true}, Layout{kNarrowBarCells, true},
                              Layout{0, true}, Layout{kNarrowBarCells, false}}) {
    const std::string bar = snapshot.fraction && layout.cells > 0
                                ? FormatBar(*snapshot.fraction, layout.cells)
                                : std::string();
    const std::string line =
        Join(Join(Join(step, status), bar), layout.withTail ? tail : std::string());
    if (line.size() <= limit) return line;
  }
  return Join(step, status).substr(0, limit);
}

std::string FormatPlainLine(const std::string& step, const std::string& status) {
  return Join(step, TrimEnd(status));
}

}  // namespace tarn::cli
