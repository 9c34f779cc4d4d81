#include "session/device_lock.h"

#include <cstdio>

namespace tarn {

std::string DeviceLockFileName(const std::string& device) {
  std::string name = "tarn-updater-";
  for (const char c : device) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || byte == '.' || byte == '-') {
      name += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      name += escaped;
    }
  }
  return name + ".lock";
}

}  // namespace tarn
