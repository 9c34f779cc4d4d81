#include "tests/e2e/jack_test_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// Long enough for the JACK tests queued before this one on a busy machine.
constexpr auto kLockTimeout = 240s;

}  // namespace

JackTestLock::JackTestLock() {
  const std::string path = "/tmp/tarn-jack-tests-" + std::to_string(getuid()) + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    m_error = "cannot open " + path + ": " + strerror(errno);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
      m_error = "another test kept " + path + " locked";
      close(fd);
      return;
    }
    std::this_thread::sleep_for(50ms);
  }
  m_fd = fd;
}

JackTestLock::~JackTestLock() {
  if (m_fd >= 0) close(m_fd);  // releases the lock
}

}  // namespace tarn::test
