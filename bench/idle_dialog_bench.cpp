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
#include "bench/idle_run.h"
#include "firmware/embedded_images.h"

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
  bench::RunIdle(state, [&state] {
    auto dialog = std::make_unique<CT2vVazidavDlg>(1, EmbeddedImages());
    dialog->show();
    state.counters["cpu_percent"] = bench::CpuPercentDuring([] {
      QEventLoop loop;
      QTimer::singleShot(10000, &loop, &QEventLoop::quit);
      loop.exec();
    });
  });
}
BENCHMARK(BM_IdleDialogCpu)->Apply(bench::RestArguments);

}  // namespace
}  // namespace tarn
