// Several devices updated at once, as --all does: each its own session (ports, 1 ms timer,
// engine context, worker) and its own virtual device on a link of its own. The link is per
// device, so the host is the only shared cost: the time for 8 should stay close to that for 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "firmware/embedded_images.h"
#include "midi/platform/platform.h"
#include "resources/product.h"
#include "session/device_pairs.h"
#include "session/update_session.h"
#include "sim/virtual_device.h"
#include "tests/support/recording_observer.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

// Virtual devices "DAXO Tarn Series", "DAXO Tarn Series (2)", ... as in-process ports, one
// input and one output each: the loopback, times N.
class DeviceBank final : public platform::Backend {
 public:
  DeviceBank(size_t count, uint32_t linkRate) {
    sim::DeviceConfig config;
    config.linkRate = linkRate;
    for (size_t i = 0; i < count; ++i)
      m_devices.push_back(std::make_unique<sim::VirtualDevice>(config));
  }

  std::string Name() const override { return "bank"; }
  bool InProcess() const override { return true; }
  std::vector<platform::DeviceInfo> Inputs() override { return Ports(); }
  std::vector<platform::DeviceInfo> Outputs() override { return Ports(); }

  std::unique_ptr<platform::InputConnection> OpenInput(
      const platform::DeviceInfo& port, platform::InputBytesHandler handler) override {
    sim::VirtualDevice& device = *m_devices.at(std::stoul(port.id));
    device.SetOutput([handler](std::span<const uint8_t> message) { handler(message); });
    return std::make_unique<Input>(device);
  }

  std::unique_ptr<platform::OutputConnection> OpenOutput(
      const platform::DeviceInfo& port) override {
    return std::make_unique<Output>(*m_devices.at(std::stoul(port.id)));
  }

 private:
  class Input final : public platform::InputConnection {
   public:
    explicit Input(sim::VirtualDevice& device) : m_device(device) {}
    ~Input() override { m_device.SetOutput({}); }

   private:
    sim::VirtualDevice& m_device;
  };

  class Output final : public platform::OutputConnection {
   public:
    explicit Output(sim::VirtualDevice& device) : m_device(device) {}
    bool Send(std::span<const uint8_t> message) override {
      m_device.Receive(message);
      return true;
    }

   private:
    sim::VirtualDevice& m_device;
  };

  std::vector<platform::DeviceInfo> Ports() const {
    std::vector<platform::DeviceInfo> ports;
    for (size_t i = 0; i < m_devices.size(); ++i) {
      const std::string name =
          i == 0 ? std::string(kDeviceName) : kDeviceName + (" (" + std::to_string(i + 1) + ")");
      ports.push_back({name, std::to_string(i)});
    }
    return ports;
  }

  std::vector<std::unique_ptr<sim::VirtualDevice>> m_devices;
};

// Seconds from the first start to the last end.
double UpdateAll() {
  const auto pairs = FindDevicePairs(platform::InputPorts(), platform::OutputPorts());
  test::IgnoringObserver view;
  std::vector<std::unique_ptr<UpdateSession>> sessions;
  for (const DevicePair& pair : pairs) {
    sessions.push_back(std::make_unique<UpdateSession>(EmbeddedImages(), view));
    sessions.back()->StartDispatcher();
    if (sessions.back()->OpenPorts(pair.input, pair.output) != UpdateSession::OpenResult::kOpened)
      throw std::runtime_error("the ports of " + pair.name + " did not open");
  }
  std::vector<std::promise<UpdateOutcome>> ended(sessions.size());
  const auto start = Clock::now();
  for (size_t i = 0; i < sessions.size(); ++i) {
    if (!sessions[i]->StartUpdate(
            [&promise = ended[i]](const UpdateOutcome& outcome) { promise.set_value(outcome); }))
      throw std::runtime_error("no worker");
  }
  for (auto& promise : ended) {
    if (promise.get_future().get().kind != OutcomeKind::kCompleted)
      throw std::runtime_error("an update failed");
  }
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  for (auto& session : sessions)
    session->WaitForWorker();
  return elapsed.count();
}

void BM_DevicesAtOnce(benchmark::State& state) {
  const auto count = static_cast<size_t>(state.range(0));
  const auto rate = static_cast<uint32_t>(state.range(1));
  for (auto _ : state) {
    std::vector<std::unique_ptr<platform::Backend>> backends;
    backends.push_back(std::make_unique<DeviceBank>(count, rate));
    platform::SetBackends(std::move(backends));
    try {
      state.counters["update_s"] = UpdateAll();
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
    }
    // The other benchmarks find their devices through the system's backends.
    platform::SetBackends(platform::DefaultBackends());
  }
  state.counters["devices"] = static_cast<double>(count);
}
// 1, 4 and 8 devices at 75 KiB/s each; compare update_s across the three.
BENCHMARK(BM_DevicesAtOnce)
    ->Args({1, 75 * 1024})
    ->Args({4, 75 * 1024})
    ->Args({8, 75 * 1024})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace tarn
