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

std::string HolderRecord(long long processId, const std::string& program) {
  return std::to_string(processId) + " " + program + "\n";
}

std::string DescribeHolder(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  const size_t blank = text.find(' ');
  // Just taken, and not yet written.
  if (blank == std::string::npos) return "another process";
  return "process " + text.substr(0, blank) + " (" + text.substr(blank + 1) + ")";
}

}  // namespace tarn
