// tarn-device-sim: a VirtualDevice on the JACK ports of a client named "DAXO Tarn Series", so
// that both port lists of the updater pick it by default, or on an ALSA rawmidi device.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <thread>

#include "resources/firmware_images.h"
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
bool BootAreaRewritten(const DeviceConfig& config) {
  const auto& version = config.device.bootVersion;
  const auto image = EmbeddedImages().Find(firmware::kBootImageId);
  if (!version || !image || image->size() < kBootVersionAddress + version->size()) return true;
  return !std::equal(version->begin(), version->end(), image->begin() + kBootVersionAddress);
}

bool Finished(VirtualDevice& device) {
  return device.Count(RequestKind::kFinishUpdate) > 0 && device.WaitIdle(kPoll);
}

int Run(const DeviceSimOptions& options) {
  // Before any thread starts, so that only the wait below ever sees these signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  VirtualDevice device(options.device);
  // Fed from the backend's input thread alone.
  SysExFramer framer;
  DeviceSimPorts ports =
      OpenDeviceSimPorts(options, [&framer, &device](std::span<const uint8_t> bytes) {
        framer.Feed(bytes, [&device](std::vector<uint8_t> message) { device.Receive(message); });
      });
  if (!ports.error.empty()) {
    std::fprintf(stderr, "tarn-device-sim: %s\n", ports.error.c_str());
    return 1;
  }
  device.SetOutput([&output = *ports.output](std::span<const uint8_t> message) {
    if (!output.Send(message))
      std::fprintf(stderr, "tarn-device-sim: an answer of %zu bytes was lost\n", message.size());
  });
  if (!ports.notice.empty()) std::fprintf(stderr, "tarn-device-sim: %s\n", ports.notice.c_str());
  std::printf("ready %s\n", ports.name.c_str());
  std::fflush(stdout);

  const timespec poll{0, std::chrono::nanoseconds(kPoll).count()};
  for (;;) {
    if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) break;
    if (options.exitAfterFinish && Finished(device)) {
      std::this_thread::sleep_for(kLastAnswerGrace);
      break;
    }
  }
  device.SetOutput({});
  ports.Close();

  const FlashCheck check =
      device.VerifyFlash(PlanExpectations(EmbeddedImages(), BootAreaRewritten(options.device)));
  std::printf("%s\n%s\n", check.summary.c_str(), WriteRequestSummary(device.Received()).c_str());
  std::fflush(stdout);
  return check.ok ? 0 : 1;
}

}  // namespace
}  // namespace tarn::sim

int main(int argc, char** argv) {
  const auto parsed = tarn::sim::ParseDeviceSimOptions(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  return tarn::sim::Run(*parsed.options);
}
