#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "cli/interrupt_watch.h"

namespace tarn::cli {
namespace {

// How long the watch takes to notice that it is being destroyed. A signal cannot wake it for
// that: one the process ignores is discarded even while blocked.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

}  // namespace

struct InterruptWatch::State {
  Handler handler;
  sigset_t watched{};
  sigset_t previous{};
  std::atomic<bool> stopping{false};
  std::thread thread;
};

InterruptWatch::InterruptWatch(Handler handler) : m_state(std::make_unique<State>()) {
  State& state = *m_state;
  state.handler = std::move(handler);
  sigemptyset(&state.watched);
  sigaddset(&state.watched, SIGINT);
  sigaddset(&state.watched, SIGTERM);
  sigaddset(&state.watched, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &state.watched, &state.previous);
  state.thread = std::thread([&state] {
    const timespec poll{0, std::chrono::nanoseconds(kStopPoll).count()};
    while (!state.stopping.load()) {
      const int signal = sigtimedwait(&state.watched, nullptr, &poll);
      if (signal == SIGINT) state.handler(InterruptKind::kInterrupt);
      if (signal == SIGTERM) state.handler(InterruptKind::kTerminate);
      if (signal == SIGHUP) state.handler(InterruptKind::kHangUp);
    }
  });
}

InterruptWatch::~InterruptWatch() {
  m_state->stopping.store(true);
  m_state->thread.join();
  pthread_sigmask(SIG_SETMASK, &m_state->previous, nullptr);
}

}  // namespace tarn::cli
