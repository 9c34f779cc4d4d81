// What the updater dialog costs while it waits: the window shown on Qt's offscreen platform with
// the virtual device in its lists, no update run, measured over 10 s as a share of one core;
// rest:0 keeps the timer ticking every millisecond, as before it could rest.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "app/updater_dialog.h"
#include "bench/cpu_share.h"
#include "firmware/embedded_images.h"
#include "midi/platform/loopback/loopback.h"
#include "midi/platform/timer_wake.h"
#include "resources/product.h"
#include "sim/virtual_device.h"

namespace tarn {
namespace {

void BM_IdleDialogCpu(benchmark::State& state) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!QApplication::instance()) {
    static int argc = 1;
    static char name[] = "tarn_bench";
    static char* argv[] = {name, nullptr};
    // One application for the whole program, never destroyed: Qt is not made to start twice.
    new QApplication(argc, argv);
  }
  platform::AllowTimerRest(state.range(0) != 0);
  for (auto _ : state) {
    sim::VirtualDevice device;
    platform::InstallLoopbackPeer(&device, kDeviceName);
    {
      auto dialog = std::make_unique<CT2vVazidavDlg>(1, EmbeddedImages());
      dialog->show();
      state.counters["cpu_percent"] = bench::CpuPercentDuring([] {
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
      });
    }
    platform::RemoveLoopbackPeer();
  }
  platform::AllowTimerRest(true);
}
BENCHMARK(BM_IdleDialogCpu)
    ->ArgName("rest")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace tarn
