// Runs jack_peer as a child process: a JACK client of its own that echoes SysEx messages.
#pragma once

#include <string>

#include "tests/support/child_process.h"

namespace tarn::test {

class PeerProcess {
 public:
  // Starts the peer and waits (bounded) until its ports listen.
  explicit PeerProcess(const std::string& clientName);
  // Closes the peer's standard input, which ends it; kills it if it does not end.
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool Ready() const { return m_ready; }
  const std::string& Error() const { return m_error; }

 private:
  ChildProcess m_child;
  bool m_ready = false;
  std::string m_error;
};

}  // namespace tarn::test
