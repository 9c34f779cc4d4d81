#include "midi/platform/alsa/alsa_connections.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

namespace tarn::platform {
namespace {

class AlsaInput final : public InputConnection {
 public:
  AlsaInput(snd_rawmidi_t* handle, int wake, std::vector<uint8_t> early, InputBytesHandler handler)
      : m_handle(handle), m_wake(wake), m_early(std::move(early)), m_handler(std::move(handler)) {
    m_thread = std::thread([this] { Run(); });
  }

  ~AlsaInput() override {
    const uint64_t one = 1;
    while (write(m_wake, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_thread.join();
    close(m_wake);
    snd_rawmidi_close(m_handle);
  }

 private:
  void Run() {
    if (!m_early.empty()) m_handler(m_early);
    const int count = std::max(0, snd_rawmidi_poll_descriptors_count(m_handle));
    std::vector<pollfd> fds(count + 1);
    snd_rawmidi_poll_descriptors(m_handle, fds.data(), count);
    fds[count] = {m_wake, POLLIN, 0};
    while (true) {
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[count].revents) break;
      unsigned short events = 0;
      snd_rawmidi_poll_descriptors_revents(m_handle, fds.data(), count, &events);
      // Read even on an error report: bytes that arrived before it are still delivered. One
      // read per wake-up, so a busy device cannot keep the stop request waiting.
      if (!ReadOnce() || (events & (POLLERR | POLLHUP | POLLNVAL))) {
        // The one way the waiting update learns of it before its wait runs out.
        m_handler({});
        break;
      }
    }
  }

  // False once the device fails (unplugged, for one); delivery then ends.
  bool ReadOnce() {
    ssize_t count;
    while ((count = snd_rawmidi_read(m_handle, m_chunk, sizeof m_chunk)) == -EINTR) {
    }
    if (count > 0) {
      m_handler(std::span<const uint8_t>(m_chunk, static_cast<size_t>(count)));
    } else if (count != 0 && count != -EAGAIN) {
      // Said nowhere: the program learns of a lost device from its output, and prints it once.
      return false;
    }
    return true;
  }

  snd_rawmidi_t* m_handle;
  int m_wake;
  std::vector<uint8_t> m_early;
  InputBytesHandler m_handler;
  uint8_t m_chunk[4096];
  std::thread m_thread;
};

class AlsaOutput final : public OutputConnection {
 public:
  AlsaOutput(snd_rawmidi_t* handle, bool drain) : m_handle(handle), m_drain(drain) {}
  ~AlsaOutput() override { snd_rawmidi_close(m_handle); }

  // Blocking writes wait for room in the driver's buffer; the drain then waits until the last
  // byte has left it, so with it the message has gone out whole when this returns true.
  bool Send(std::span<const uint8_t> message) override {
    std::lock_guard lock(m_mutex);
    if (message.empty()) return false;
    size_t offset = 0;
    while (offset < message.size()) {
      const ssize_t written =
          snd_rawmidi_write(m_handle, message.data() + offset, message.size() - offset);
      if (written == -EINTR) continue;
      if (written <= 0) return Failed(static_cast<int>(written));
      offset += static_cast<size_t>(written);
    }
    if (!m_drain) return true;
    int result;
    while ((result = snd_rawmidi_drain(m_handle)) == -EINTR) {
    }
    return result == 0 || Failed(result);
  }

  bool Gone() const override { return m_gone.load(); }

 private:
  // A disconnected card (a USB device unplugged) answers every call with one of these.
  bool Failed(int error) {
    if (error == -ENODEV || error == -ENXIO || error == -EBADFD) m_gone = true;
    return false;
  }

  std::mutex m_mutex;  // the worker and the dispatcher may send at the same time
  snd_rawmidi_t* m_handle;
  bool m_drain;
  std::atomic<bool> m_gone{false};
};

}  // namespace

std::unique_ptr<InputConnection> MakeAlsaInput(snd_rawmidi_t* handle, std::vector<uint8_t> early,
                                               InputBytesHandler handler) {
  const int wake = eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    snd_rawmidi_close(handle);
    return nullptr;
  }
  return std::make_unique<AlsaInput>(handle, wake, std::move(early), std::move(handler));
}

std::unique_ptr<OutputConnection> MakeAlsaOutput(snd_rawmidi_t* handle, bool drain) {
  return std::make_unique<AlsaOutput>(handle, drain);
}

}  // namespace tarn::platform
