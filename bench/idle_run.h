// One idle measurement for the session and the dialog alike: the product's virtual device in
// the port lists and the timer allowed to rest between updates (rest:1) or made to tick every
// millisecond all along (rest:0), as it did before it could rest.
#pragma once

#include <benchmark/benchmark.h>

#include "midi/platform/loopback/loopback.h"
#include "midi/platform/timer_wake.h"
#include "resources/product.h"
#include "sim/virtual_device.h"

namespace tarn::bench {

// Runs `measure` once per iteration with the device installed; it sets the counters itself.
template <typename Measure>
void RunIdle(benchmark::State& state, Measure measure) {
  platform::AllowTimerRest(state.range(0) != 0);
  for (auto _ : state) {
    sim::VirtualDevice device;
    platform::InstallLoopbackPeer(&device, kDeviceName);
    measure();
    platform::RemoveLoopbackPeer();
  }
  platform::AllowTimerRest(true);
}

// rest:0 and rest:1, one run of wall time each.
inline void RestArguments(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("rest")
      ->Arg(0)
      ->Arg(1)
      ->Iterations(1)
      ->Unit(benchmark::kSecond)
      ->UseRealTime();
}

}  // namespace tarn::bench
