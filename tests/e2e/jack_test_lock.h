// JACK servers and clients of one user are not independent: every client opens one metadata
// database in /dev/shm and every server deletes it when it ends, so a client starting while a
// server ends can crash (SIGBUS); a server that dies without cleaning up keeps one of the eight
// server slots. Tests that start JACK servers or clients hold this lock, a file lock shared by
// every process of the machine, so they never overlap, whichever executable or build runs them.
#pragma once

#include <string>

namespace tarn::test {

class JackTestLock {
 public:
  // Waits (bounded) until no other test holds the lock.
  JackTestLock();
  ~JackTestLock();
  JackTestLock(const JackTestLock&) = delete;
  JackTestLock& operator=(const JackTestLock&) = delete;

  bool Held() const { return m_fd >= 0; }
  const std::string& Error() const { return m_error; }

 private:
  int m_fd = -1;
  std::string m_error;
};

}  // namespace tarn::test
