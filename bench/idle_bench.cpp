// What a session costs while it waits: the ports open on the loopback device, the dispatcher
// started, no update. Measured over 10 s as a share of one core, with the timer resting between
// updates (rest:1, the updater as it is) and without (rest:0: a tick every millisecond, as
// before). Beside them, the floor of any 1 ms tick: a thread that does nothing but wake every
// millisecond.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bench/cpu_share.h"
#include "bench/idle_run.h"
#include "firmware/embedded_images.h"
#include "session/update_session.h"
#include "tests/support/recording_observer.h"

namespace tarn {
namespace {

using bench::CpuPercentDuring;
using Clock = std::chrono::steady_clock;

void SleepTenSeconds() {
  std::this_thread::sleep_for(std::chrono::seconds(10));
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
    state.counters["cpu_percent"] = CpuPercentDuring(SleepTenSeconds);
    stop = true;
    ticker.join();
  }
}
BENCHMARK(BM_BareTickCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_IdleSessionCpu(benchmark::State& state) {
  bench::RunIdle(state, [&state] {
    test::IgnoringObserver view;
    UpdateSession session(EmbeddedImages(), view);
    session.StartDispatcher();
    if (session.OpenPorts(0, 0) != UpdateSession::OpenResult::kOpened) {
      state.SkipWithError("the loopback ports did not open");
    } else {
      state.counters["cpu_percent"] = CpuPercentDuring(SleepTenSeconds);
    }
  });
}
BENCHMARK(BM_IdleSessionCpu)->Apply(bench::RestArguments);

}  // namespace
}  // namespace tarn
