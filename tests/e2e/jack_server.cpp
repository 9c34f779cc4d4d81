#include "tests/e2e/jack_server.h"

#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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

}  // namespace

bool JackServer::Installed() {
  return !FindOnPath("jackd").empty();
}

JackServer::JackServer() : m_name("tarn-test") {
  // Under the lock the name can be the same every time, so the server slot of one that died
  // without cleaning up is taken over instead of being lost.
  if (!m_lock.Held()) {
    m_error = m_lock.Error();
    return;
  }
  // Synchronous mode: the server waits for every client to finish a cycle (up to the client
  // time-out). In the default asynchronous mode a late client misses cycles, and MIDI events
  // between clients are then lost or read twice; on a busy test machine that happens often.
  ChildOptions options;
  options.output = ChildOptions::Output::kLog;
  options.endsWithTest = true;
  m_jackd = std::make_unique<ChildProcess>(
      std::vector<std::string>{"jackd", "--no-realtime", "--sync", "--timeout", "2000", "-n",
                               m_name, "-d", "dummy", "-r", "48000", "-p", "64"},
      options);
  if (!m_jackd->Started()) {
    m_jackd.reset();
    m_error = "cannot start jackd";
    return;
  }
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
    if (m_jackd->HasEnded()) {
      const ChildResult result = m_jackd->Wait(0ms);
      m_error = result.exitCode == 127 ? "jackd could not be run"
                                       : "jackd ended at start-up:\n" + result.out;
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
  m_error = "jackd did not answer within " + std::to_string(kStartTimeout.count()) + " s:\n" +
            m_jackd->Out();
  return false;
}

void JackServer::Stop() {
  if (!m_jackd) return;
  m_jackd->Signal(SIGTERM);
  m_jackd->Wait(kStopTimeout);
  m_jackd.reset();
}

}  // namespace tarn::test
