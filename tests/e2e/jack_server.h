// A private JACK server for end-to-end tests: `jackd` with the dummy driver under a name of
// its own, so tests never touch a server the user runs. While it lives, JACK_DEFAULT_SERVER
// names it, so every JACK client of this process and of its children reaches it, and it holds
// the JackTestLock (see there), so no other test's JACK server or client runs meanwhile. The
// server ends with the thread that started it, even when the test process is killed.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tests/e2e/jack_test_lock.h"
#include "tests/support/child_process.h"

namespace tarn::test {

class JackServer {
 public:
  // False when no `jackd` is on PATH: the only reason for a test to skip.
  static bool Installed();

  // Starts the server and waits (bounded) until a client can connect.
  JackServer();
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Running() const { return m_jackd != nullptr; }
  // Why the server did not start, with its own output.
  const std::string& Error() const { return m_error; }
  const std::string& Name() const { return m_name; }
  // Ends the server now; its clients see it shut down.
  void Stop();

 private:
  bool WaitUntilReady();
  void RemoveLeftovers() const;

  JackTestLock m_lock;
  std::string m_name;
  std::string m_error;
  std::optional<std::string> m_previousServer;
  bool m_exported = false;
  std::unique_ptr<ChildProcess> m_jackd;
};

}  // namespace tarn::test
