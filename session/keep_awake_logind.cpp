#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "session/keep_awake.h"

namespace tarn {
namespace {

// logind keeps the block while this file descriptor is open.
class LogindInhibitor final : public KeepAwake {
 public:
  explicit LogindInhibitor(int fd) : m_fd(fd) {}
  ~LogindInhibitor() override { close(m_fd); }

 private:
  int m_fd;
};

std::string BusText(int error, const sd_bus_error& busError) {
  if (busError.message != nullptr) return busError.message;
  return std::strerror(-error);
}

}  // namespace

std::unique_ptr<KeepAwake> KeepMachineAwake(const std::string& device, std::string* problem) {
  sd_bus* bus = nullptr;
  int result = sd_bus_open_system(&bus);
  if (result < 0) {
    if (problem) *problem = std::string("no system bus: ") + std::strerror(-result);
    return nullptr;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const std::string why = "Updating the firmware of " + device;
  result = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                              "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                              "shutdown:sleep:idle", "tarn-updater", why.c_str(), "block");
  int fd = -1;
  if (result >= 0) {
    int received = -1;
    result = sd_bus_message_read(reply, "h", &received);
    // The reply owns the descriptor it carries.
    if (result >= 0) fd = fcntl(received, F_DUPFD_CLOEXEC, 3);
    if (result >= 0 && fd < 0) result = -errno;
  }
  if (result < 0 && problem) *problem = "logind: " + BusText(result, error);
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  if (fd < 0) return nullptr;
  return std::make_unique<LogindInhibitor>(fd);
}

}  // namespace tarn
