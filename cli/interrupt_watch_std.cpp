// Where POSIX signal masks are missing: a standard signal handler that only counts, and a
// thread that hands the counts on.
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "cli/interrupt_watch.h"

namespace tarn::cli {
namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_terminations{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

extern "C" void OnSignal(int signal) {
  // Some C libraries reset the handler before calling it.
  std::signal(signal, OnSignal);
  (signal == SIGINT ? g_interrupts : g_terminations).fetch_add(1);
}

}  // namespace

struct InterruptWatch::State {
  Handler handler;
  std::atomic<bool> stopping{false};
  std::thread thread;
};

InterruptWatch::InterruptWatch(Handler handler) : m_state(std::make_unique<State>()) {
  State& state = *m_state;
  state.handler = std::move(handler);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  state.thread = std::thread([&state] {
    while (!state.stopping.load()) {
      for (int n = g_interrupts.exchange(0); n > 0; --n)
        state.handler(InterruptKind::kInterrupt);
      for (int n = g_terminations.exchange(0); n > 0; --n)
        state.handler(InterruptKind::kTerminate);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
}

InterruptWatch::~InterruptWatch() {
  m_state->stopping.store(true);
  m_state->thread.join();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace tarn::cli
