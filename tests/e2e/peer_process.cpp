#include "tests/e2e/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kReadyTimeout = 10s;
constexpr auto kExitTimeout = 5s;

}  // namespace

PeerProcess::PeerProcess(const std::string& clientName) {
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) {
    m_error = "pipe: " + std::string(strerror(errno));
    return;
  }
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    m_error = "pipe: " + std::string(strerror(errno));
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  const char* argv[] = {TARN_JACK_PEER_PATH, clientName.c_str(), nullptr};
  const int spawned = posix_spawn(&m_pid, TARN_JACK_PEER_PATH, &actions, nullptr,
                                  const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  m_stdin = toChild[1];
  m_stdout = fromChild[0];
  if (spawned != 0) {
    m_pid = -1;
    m_error = "cannot start " TARN_JACK_PEER_PATH ": " + std::string(strerror(spawned));
    return;
  }
  m_ready = WaitForReadyLine();
}

PeerProcess::~PeerProcess() {
  if (m_stdin >= 0) close(m_stdin);
  if (m_stdout >= 0) close(m_stdout);
  if (m_pid <= 0) return;
  const auto deadline = std::chrono::steady_clock::now() + kExitTimeout;
  while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

bool PeerProcess::WaitForReadyLine() {
  const auto deadline = std::chrono::steady_clock::now() + kReadyTimeout;
  std::string line;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{m_stdout, POLLIN, 0};
    const int polled = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) {
      m_error = "the peer did not get ready in time";
      return false;
    }
    char byte;
    if (read(m_stdout, &byte, 1) != 1) {
      m_error = "the peer ended before it was ready";
      return false;
    }
    if (byte == '\n') return line.rfind("ready", 0) == 0;
    line += byte;
  }
}

}  // namespace tarn::test
