#include "tests/e2e/peer_process.h"

#include <chrono>

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kReadyTimeout = 10s;
constexpr auto kExitTimeout = 5s;

}  // namespace

PeerProcess::PeerProcess(const std::string& clientName)
    : m_child({TARN_JACK_PEER_PATH, clientName}, ChildOptions{ChildOptions::Output::kPipe, true}) {
  if (!m_child.Started()) {
    m_error = "cannot start " TARN_JACK_PEER_PATH;
    return;
  }
  const std::optional<std::string> line = m_child.ReadLine(kReadyTimeout);
  m_ready = line && line->rfind("ready", 0) == 0;
  if (!line) {
    m_error = m_child.HasEnded() ? "the peer ended before it was ready"
                                 : "the peer did not get ready in time";
  }
}

PeerProcess::~PeerProcess() {
  m_child.CloseInput();
  m_child.Wait(kExitTimeout);
}

}  // namespace tarn::test
