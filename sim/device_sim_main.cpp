// tarn-device-sim: a VirtualDevice on the JACK ports of a client named "DAXO Tarn Series", so
// that both port lists of the updater pick it by default, or on an ALSA rawmidi device; with
// --count, several devices, each on a client of its own.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "firmware/embedded_images.h"
#include "firmware/set_loader.h"
#include "sim/device_sim_options.h"
#include "sim/device_sim_ports.h"
#include "sim/device_sim_summary.h"
#include "sim/plan_expectations.h"
#include "sysex/sysex_framer.h"

namespace tarn::sim {
namespace {

using namespace std::chrono_literals;

constexpr auto kPoll = 50ms;
// After its last answer left the device: time for the host to take it off the wire.
constexpr auto kLastAnswerGrace = 200ms;

// The updater leaves a boot area alone whose version text already matches the boot image.
bool BootAreaRewritten(const DeviceConfig& config, const ImageSet& images) {
  const auto& version = config.device.bootVersion;
  const auto image = images.Find(firmware::kBootImageId);
  if (!version || !image || image->size() < kBootVersionAddress + version->size()) return true;
  return !std::equal(version->begin(), version->end(), image->begin() + kBootVersionAddress);
}

bool Finished(VirtualDevice& device) {
  return device.Count(RequestKind::kFinishUpdate) > 0 && device.WaitIdle(kPoll);
}

// One device: its flash, its own SysEx framer (fed from its backend's input thread alone) and
// its ports.
struct SimDevice {
  explicit SimDevice(const DeviceConfig& config) : config(config), device(config) {}
  DeviceConfig config;
  VirtualDevice device;
  SysExFramer framer;
  DeviceSimPorts ports;
};

int Run(const DeviceSimOptions& options, const ImageSet& images) {
  // Before any thread starts, so that only the wait below ever sees these signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::unique_ptr<SimDevice>> devices;
  for (int number = 1; number <= options.count; ++number) {
    auto sim = std::make_unique<SimDevice>(DeviceSimConfig(options, number));
    DeviceSimOptions own = options;
    own.clientName = DeviceSimName(options, number);
    sim->ports = OpenDeviceSimPorts(own, [&sim = *sim](std::span<const uint8_t> bytes) {
      sim.framer.Feed(bytes, [&sim](std::vector<uint8_t> message) { sim.device.Receive(message); });
    });
    if (!sim->ports.error.empty()) {
      std::fprintf(stderr, "tarn-device-sim: %s\n", sim->ports.error.c_str());
      return 1;
    }
    sim->device.SetOutput([&output = *sim->ports.output](std::span<const uint8_t> message) {
      if (!output.Send(message))
        std::fprintf(stderr, "tarn-device-sim: an answer of %zu bytes was lost\n", message.size());
    });
    if (!sim->ports.notice.empty())
      std::fprintf(stderr, "tarn-device-sim: %s\n", sim->ports.notice.c_str());
    std::printf("ready %s\n", sim->ports.name.c_str());
    std::fflush(stdout);
    devices.push_back(std::move(sim));
  }

  const timespec poll{0, std::chrono::nanoseconds(kPoll).count()};
  for (;;) {
    if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) break;
    if (options.exitAfterFinish && std::all_of(devices.begin(), devices.end(), [](const auto& sim) {
          return Finished(sim->device);
        })) {
      std::this_thread::sleep_for(kLastAnswerGrace);
      break;
    }
  }
  bool allOk = true;
  for (const auto& sim : devices) {
    sim->device.SetOutput({});
    sim->ports.Close();
    const FlashCheck check =
        sim->device.VerifyFlash(PlanExpectations(images, BootAreaRewritten(sim->config, images)));
    // One device keeps the lines a script already reads; several say whose they are.
    const std::string prefix = devices.size() > 1 ? sim->ports.name + ": " : std::string();
    std::printf("%s%s\n%s%s\n", prefix.c_str(), check.summary.c_str(), prefix.c_str(),
                WriteRequestSummary(sim->device.Received()).c_str());
    allOk = allOk && check.ok;
  }
  std::fflush(stdout);
  return allOk ? 0 : 1;
}

}  // namespace
}  // namespace tarn::sim

int main(int argc, char** argv) {
  const auto parsed = tarn::sim::ParseDeviceSimOptions(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  if (!parsed.options->firmwarePath) return tarn::sim::Run(*parsed.options, tarn::EmbeddedImages());
  // Checked as the updater checks it, before any port is opened.
  const tarn::LoadedSet loaded = tarn::LoadFirmwareSet(*parsed.options->firmwarePath);
  if (!loaded.set) {
    std::fprintf(stderr, "tarn-device-sim: %s\n", loaded.error.c_str());
    return 2;
  }
  return tarn::sim::Run(*parsed.options, *loaded.set);
}
