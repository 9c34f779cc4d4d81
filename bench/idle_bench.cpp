// What a session costs while it waits: the ports open on the loopback device, the 1 ms
// dispatcher tick running, no update. Measured from the process's own CPU time in
// /proc/self/stat over 10 s, as a share of one core; beside it, the floor: a thread that does
// nothing but wake every millisecond, which is what the tick costs on this machine before any
// work of ours.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "firmware/embedded_images.h"
#include "midi/platform/loopback/loopback.h"
#include "resources/product.h"
#include "session/update_session.h"
#include "sim/virtual_device.h"
#include "tests/support/recording_observer.h"

namespace tarn {
namespace {

// User plus system time of the whole process, in seconds; fields 14 and 15 of the stat line,
// counted after the command name in parentheses (which may hold spaces).
double ProcessCpuSeconds() {
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

using Clock = std::chrono::steady_clock;

// The share of one core the process used while `wait` ran.
template <typename Wait>
double CpuPercentDuring(Wait wait) {
  const double before = ProcessCpuSeconds();
  const auto start = Clock::now();
  wait();
  const std::chrono::duration<double> wall = Clock::now() - start;
  return 100.0 * (ProcessCpuSeconds() - before) / wall.count();
}

void BM_BareTickCpu(benchmark::State& state) {
  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::thread ticker([&stop] {
      auto next = Clock::now();
      while (!stop.load(std::memory_order_relaxed)) {
        next += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(next);
      }
    });
    state.counters["cpu_percent"] =
        CpuPercentDuring([] { std::this_thread::sleep_for(std::chrono::seconds(10)); });
    stop = true;
    ticker.join();
  }
}
BENCHMARK(BM_BareTickCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_IdleSessionCpu(benchmark::State& state) {
  for (auto _ : state) {
    sim::VirtualDevice device;
    platform::InstallLoopbackPeer(&device, kDeviceName);
    {
      test::IgnoringObserver view;
      UpdateSession session(EmbeddedImages(), view);
      session.StartDispatcher();
      if (session.OpenPorts(0, 0) != UpdateSession::OpenResult::kOpened) {
        state.SkipWithError("the loopback ports did not open");
      } else {
        state.counters["cpu_percent"] =
            CpuPercentDuring([] { std::this_thread::sleep_for(std::chrono::seconds(10)); });
      }
    }
    platform::RemoveLoopbackPeer();
  }
}
BENCHMARK(BM_IdleSessionCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tarn
