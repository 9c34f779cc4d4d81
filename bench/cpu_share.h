// What a program costs while it waits: the process's own CPU time from /proc/self/stat, as a
// share of one core over a stretch of wall time.
#pragma once

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tarn::bench {

// User plus system time of the whole process, in seconds; fields 14 and 15 of the stat line,
// counted after the command name in parentheses (which may hold spaces).
inline double ProcessCpuSeconds() {
  std::ifstream file("/proc/self/stat");
  const std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int index = 3; index < 14; ++index)
    fields >> field;
  double user = 0;
  double system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The share of one core, in percent, that the process used while `wait` ran.
template <typename Wait>
double CpuPercentDuring(Wait wait) {
  using Clock = std::chrono::steady_clock;
  const double before = ProcessCpuSeconds();
  const auto start = Clock::now();
  wait();
  const std::chrono::duration<double> wall = Clock::now() - start;
  return 100.0 * (ProcessCpuSeconds() - before) / wall.count();
}

}  // namespace tarn::bench
