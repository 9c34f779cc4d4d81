#include "tests/e2e/jack_server.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 10s;
constexpr auto kStopTimeout = 5s;

bool ClientCanConnect(const std::string& server) {
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  jack_status_t status{};
  jack_client_t* client = jack_client_open(
      "tarn-test-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
      server.c_str());
  if (!client) return false;
  jack_client_close(client);
  return true;
}

// Waits for the child to end; false when it is still running at the deadline.
bool Reap(pid_t pid, std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (waitpid(pid, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

}  // namespace

bool JackServer::Installed() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && access((folder + "/jackd").c_str(), X_OK) == 0) return true;
  }
  return false;
}

JackServer::JackServer() : m_name("tarn-test") {
  // Under the lock the name can be the same every time, so the server slot of one that died
  // without cleaning up is taken over instead of being lost.
  if (!m_lock.Held()) {
    m_error = m_lock.Error();
    return;
  }
  m_logPath = "/tmp/" + m_name + "-" + std::to_string(getuid()) + ".log";
  // Synchronous mode: the server waits for every client to finish a cycle (up to the client
  // time-out). In the default asynchronous mode a late client misses cycles, and MIDI events
  // between clients are then lost or read twice; on a busy test machine that happens often.
  const char* argv[] = {
      "jackd", "--no-realtime", "--sync", "--timeout", "2000", "-n", m_name.c_str(),
      "-d",    "dummy",         "-r",     "48000",     "-p",   "64", nullptr};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int log = open(m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || log < 0) _exit(127);
    dup2(in, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execvp("jackd", const_cast<char**>(argv));
    _exit(127);
  }
  if (pid < 0) {
    m_error = "cannot start jackd: " + std::string(strerror(errno));
    return;
  }
  m_pid = pid;
  if (!WaitUntilReady()) {
    Stop();
    return;
  }
  if (const char* previous = std::getenv("JACK_DEFAULT_SERVER")) m_previousServer = previous;
  setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
  m_exported = true;
}

JackServer::~JackServer() {
  if (!m_lock.Held()) return;
  Stop();
  if (m_exported && m_previousServer) {
    setenv("JACK_DEFAULT_SERVER", m_previousServer->c_str(), 1);
  } else if (m_exported) {
    unsetenv("JACK_DEFAULT_SERVER");
  }
  unlink(m_logPath.c_str());
  RemoveLeftovers();
}

void JackServer::RemoveLeftovers() const {
  // A server that ends while clients are still open leaves their semaphores behind.
  const std::string prefix = "jack_sem." + std::to_string(getuid()) + "_" + m_name + "_";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

bool JackServer::WaitUntilReady() {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ClientCanConnect(m_name)) return true;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      m_error = WIFEXITED(status) && WEXITSTATUS(status) == 127
                    ? "jackd could not be run"
                    : "jackd ended at start-up:\n" + Log();
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
  m_error =
      "jackd did not answer within " + std::to_string(kStartTimeout.count()) + " s:\n" + Log();
  return false;
}

void JackServer::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  if (!Reap(m_pid, kStopTimeout)) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  m_pid = -1;
}

std::string JackServer::Log() const {
  std::ifstream file(m_logPath);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace tarn::test
