// What a program costs while it waits: the process's own CPU time, to the microsecond, as a
// share of one core over a stretch of wall time.
#pragma once

#include <sys/resource.h>

#include <chrono>

namespace tarn::bench {

// User plus system time of every thread of the process, in seconds.
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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
