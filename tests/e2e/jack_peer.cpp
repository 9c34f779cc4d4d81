// A JACK client in a process of its own that echoes every SysEx message it receives, the way a
// device answers: tests reach it by its client name. Usage: jack_peer CLIENT-NAME. Prints
// "ready" once both ports listen, and ends when its standard input closes.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "midi/platform/jack/jack_backend.h"
#include "tests/e2e/sysex_collector.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: jack_peer CLIENT-NAME\n");
    return 2;
  }
  auto backend = tarn::platform::MakeJackBackend(argv[1]);
  tarn::test::SysExCollector collector;
  auto input = backend->ListenInput(collector.Handler());
  auto output = backend->ListenOutput();
  if (!input || !output) {
    std::fprintf(stderr, "jack_peer: no JACK server or no ports\n");
    return 1;
  }
  std::printf("ready %s\n", backend->ClientName().c_str());
  std::fflush(stdout);

  std::atomic<bool> done{false};
  std::thread watcher([&done] {
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    done.store(true);
  });
  while (!done.load()) {
    const auto message = collector.Next(std::chrono::milliseconds(50));
    if (message && !output->Send(*message)) {
      std::fprintf(stderr, "jack_peer: echo of %zu bytes failed\n", message->size());
    }
  }
  watcher.join();
  return 0;
}
