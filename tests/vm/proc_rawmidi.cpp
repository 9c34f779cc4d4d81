#include "tests/vm/proc_rawmidi.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace tarn {
namespace {

// The kernel records the thread that opened a substream, which need not be the main one.
std::set<long> OwnThreadIds() {
  std::set<long> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ids.insert(std::stol(entry.path().filename().string()));
  return ids;
}

// "  Buffer size  : 65536" -> 65536 when the line carries `field`.
bool ReadField(const std::string& line, const std::string& field, long& value) {
  const auto colon = line.find(':');
  if (colon == std::string::npos || line.find(field) == std::string::npos) return false;
  value = std::stol(line.substr(colon + 1));
  return true;
}

}  // namespace

std::vector<OpenSubstream> OwnSubstreams(int card, int device) {
  const std::set<long> threads = OwnThreadIds();
  std::ifstream proc("/proc/asound/card" + std::to_string(card) + "/midi" + std::to_string(device));
  std::vector<OpenSubstream> own;
  OpenSubstream current;
  bool owned = false;
  auto finish = [&] {
    if (owned) own.push_back(current);
    owned = false;
  };
  std::string line;
  while (std::getline(proc, line)) {
    long value = 0;
    if (line.rfind("Input ", 0) == 0 || line.rfind("Output ", 0) == 0) {
      finish();
      current = OpenSubstream{line.rfind("Input ", 0) == 0};
    } else if (ReadField(line, "Owner PID", value)) {
      owned = threads.count(value) != 0;
    } else if (ReadField(line, "Buffer size", value)) {
      current.bufferSize = value;
    } else if (ReadField(line, "Overruns", value)) {
      current.overruns = value;
    }
  }
  finish();
  return own;
}

}  // namespace tarn
