// A whole update against the in-process virtual device with an instant link: what the host
// side costs per request/answer turn, the 1 ms dispatch tick included.
#include <benchmark/benchmark.h>

#include <chrono>

#include "engine/update_sequence.h"
#include "firmware/embedded_images.h"
#include "sim/plan_expectations.h"
#include "tests/support/engine_rig.h"

namespace tarn {
namespace {

int32_t RoundTrips(const sim::VirtualDevice& device) {
  int32_t count = 0;
  for (int32_t kind = 0; kind < kRequestKindCount; ++kind) {
    const auto requestKind = static_cast<RequestKind>(kind);
    if (IsAnswered(requestKind)) count += device.Count(requestKind);
  }
  return count;
}

void FullUpdateAgainstVirtualDevice(benchmark::State& state) {
  // The system's own waits, except the fixed 500 ms pause after BeginUpdate, which would only
  // hide the per-turn cost.
  Timing timing;
  timing.beginPause = std::chrono::milliseconds(0);
  int64_t roundTrips = 0;
  double seconds = 0;
  for (auto _ : state) {
    test::EngineRig rig(EmbeddedImages(), {}, timing);
    const auto start = std::chrono::steady_clock::now();
    UpdateThreadProc(rig.context);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    seconds += elapsed.count();
    roundTrips += RoundTrips(rig.device);
    if (!rig.device.VerifyFlash(sim::PlanExpectations(EmbeddedImages())).ok) {
      state.SkipWithError("the update did not leave the flash right");
      return;
    }
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["total_s"] = seconds / iterations;
  state.counters["round_trips"] = static_cast<double>(roundTrips) / iterations;
  state.counters["ms_per_round_trip"] = 1000.0 * seconds / static_cast<double>(roundTrips);
}
BENCHMARK(FullUpdateAgainstVirtualDevice)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace tarn
