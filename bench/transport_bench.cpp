// A whole update through the real ports and the 1 ms timer, over the loopback device at a
// modelled link rate and over a private JACK server. The figure that matters is how far the
// update's time lies above the time the link itself needs for every byte of the exchange.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

#include "firmware/embedded_images.h"
#include "midi/platform/jack/jack_backend.h"
#include "midi/platform/loopback/loopback.h"
#include "midi/platform/timer_wake.h"
#include "resources/product.h"
#include "session/update_session.h"
#include "sim/virtual_device.h"
#include "sysex/sysex_framer.h"
#include "tests/e2e/jack_server.h"
#include "tests/support/recording_observer.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

struct UpdateFigures {
  double seconds;
  uint64_t bytes;  // every SysEx byte in either direction
};

// Runs one update between the ports whose product name is `deviceName`, reading each area
// back right after it is written when `verify` is set, with received answers dispatched as they
// arrive or, without `onArrival`, left to the next 1 ms tick.
UpdateFigures RunUpdate(const std::string& deviceName, bool verify = false, bool onArrival = true) {
  test::IgnoringObserver view;
  UpdateSession session(EmbeddedImages(), view);
  session.Context().SetVerify(verify);
  session.SetDispatchOnArrival(onArrival);
  std::atomic<uint64_t> bytes{0};
  session.SetTrace(
      [&bytes](TraceDirection, std::span<const uint8_t> message) { bytes += message.size(); });
  auto index = [&deviceName](const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == deviceName) return static_cast<int32_t>(i);
    }
    throw std::runtime_error("no port named " + deviceName);
  };
  const int32_t in = index(session.InputNames());
  const int32_t out = index(session.OutputNames());
  session.StartDispatcher();
  if (session.OpenPorts(in, out) != UpdateSession::OpenResult::kOpened) {
    throw std::runtime_error("the ports did not open");
  }
  std::promise<UpdateOutcome> ended;
  auto outcome = ended.get_future();
  const auto start = Clock::now();
  if (!session.StartUpdate([&ended](const UpdateOutcome& result) { ended.set_value(result); })) {
    throw std::runtime_error("no worker");
  }
  const UpdateOutcome result = outcome.get();
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  if (result.kind != OutcomeKind::kCompleted) {
    throw std::runtime_error(result.kind == OutcomeKind::kFailed ? FormatText(result.failure)
                                                                 : "ended without a text");
  }
  session.WaitForWorker();
  return {elapsed.count(), bytes.load()};
}

void Report(benchmark::State& state, const UpdateFigures& figures, double rate) {
  state.counters["update_s"] = figures.seconds;
  state.counters["bytes"] = static_cast<double>(figures.bytes);
  if (rate > 0) {
    // Request and answer take turns, so the link carries one direction at a time.
    const double linkSeconds = static_cast<double>(figures.bytes) / rate;
    state.counters["link_s"] = linkSeconds;
    state.counters["ratio"] = figures.seconds / linkSeconds;
    // The device is given half a second after it begins an update, whatever the link: at
    // 900 KB/s that alone is 5% of the link time. No transport can shorten it, so it is
    // counted in the time the update needs.
    const std::chrono::duration<double> pause = Timing{}.beginPause;
    state.counters["ratio_pause_in_link"] = figures.seconds / (linkSeconds + pause.count());
  }
}

void BM_UpdateOverLoopback(benchmark::State& state) {
  const auto rate = static_cast<uint32_t>(state.range(0));
  const bool verify = state.range(1) != 0;
  const bool onArrival = state.range(2) != 0;
  platform::AllowTimerRest(state.range(3) != 0);
  for (auto _ : state) {
    sim::DeviceConfig config;
    config.linkRate = rate;
    sim::VirtualDevice device(config);
    platform::InstallLoopbackPeer(&device, kDeviceName);
    try {
      Report(state, RunUpdate(kDeviceName, verify, onArrival), rate);
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
    }
    platform::RemoveLoopbackPeer();
  }
  platform::AllowTimerRest(true);
}
// 75 KiB/s and 900 KB/s: a slow USB-MIDI link and a fast one; answers left to the tick (as the
// dispatcher once worked) and dispatched on arrival; without and with the read-back; the timer
// resting until the update starts (rest:1, as the updater is) or ticking all along (rest:0).
BENCHMARK(BM_UpdateOverLoopback)
    ->ArgNames({"rate", "verify", "arrival", "rest"})
    ->Args({75 * 1024, 0, 0, 1})
    ->Args({75 * 1024, 0, 1, 0})
    ->Args({75 * 1024, 0, 1, 1})
    ->Args({75 * 1024, 1, 1, 1})
    ->Args({900000, 0, 0, 1})
    ->Args({900000, 0, 1, 0})
    ->Args({900000, 0, 1, 1})
    ->Args({900000, 1, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

void BM_UpdateOverJack(benchmark::State& state) {
  if (!test::JackServer::Installed()) {
    state.SkipWithError("jackd is not installed");
    return;
  }
  for (auto _ : state) {
    test::JackServer server;
    if (!server.Running()) {
      state.SkipWithError(server.Error().c_str());
      return;
    }
    // The device as its own JACK client, as tarn-device-sim puts it.
    sim::VirtualDevice device;
    auto deviceClient = platform::MakeJackBackend(kDeviceName);
    SysExFramer framer;
    auto input = deviceClient->ListenInput([&framer, &device](std::span<const uint8_t> bytes) {
      framer.Feed(bytes, [&device](std::vector<uint8_t> message) { device.Receive(message); });
    });
    auto output = deviceClient->ListenOutput();
    device.SetOutput([&output](std::span<const uint8_t> message) { output->Send(message); });
    try {
      Report(state, RunUpdate(deviceClient->ClientName()), 0);
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
    }
    device.SetOutput({});
  }
}
BENCHMARK(BM_UpdateOverJack)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tarn
