// Signals reach ordinary code through the watch, and the watch stops cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "cli/interrupt_watch.h"

namespace tarn::cli {
namespace {

using namespace std::chrono_literals;

class Recorder {
 public:
  void Add(InterruptKind kind) {
    std::lock_guard lock(m_mutex);
    m_kinds.push_back(kind);
    m_changed.notify_all();
  }
  std::vector<InterruptKind> WaitFor(size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, 5s, [&] { return m_kinds.size() >= count; });
    return m_kinds;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<InterruptKind> m_kinds;
};

TEST(InterruptWatch, HandsEverySignalOnInOrder) {
  Recorder recorder;
  {
    InterruptWatch watch([&](InterruptKind kind) { recorder.Add(kind); });
    // A runner that started this test in the background ignores SIGINT; ignored signals are
    // discarded even while blocked. The watch has them blocked now, so defaults are safe.
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous[3];
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int i = 0; i < 3; ++i)
      sigaction(signals[i], &defaults, &previous[i]);

    kill(getpid(), SIGINT);
    EXPECT_EQ(recorder.WaitFor(1).size(), 1u);
    kill(getpid(), SIGTERM);
    EXPECT_EQ(recorder.WaitFor(2).size(), 2u);
    kill(getpid(), SIGHUP);
    const auto kinds = recorder.WaitFor(3);
    EXPECT_EQ(kinds,
              (std::vector<InterruptKind>{InterruptKind::kInterrupt, InterruptKind::kTerminate,
                                          InterruptKind::kHangUp}));
    for (int i = 0; i < 3; ++i)
      sigaction(signals[i], &previous[i], nullptr);
  }
  // The watch is gone and the mask is as it was: nothing blocked here any more.
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGINT));
  EXPECT_FALSE(sigismember(&mask, SIGTERM));
}

}  // namespace
}  // namespace tarn::cli
