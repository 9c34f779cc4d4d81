// Shared by the process tests: where the programs are, and reading a --trace file.
#pragma once

#include <string>
#include <vector>

namespace tarn::test {

inline const std::string kCliPath = TARN_CLI_PATH;

struct TraceLine {
  long milliseconds;
  char direction;  // '>' to the device, '<' from it, 'x' a received answer that was dropped
  std::vector<unsigned> bytes;
  std::string text;  // the line as written, without its milliseconds
};

// Every line of the file; a line that does not parse fails the calling test.
std::vector<TraceLine> ReadTrace(const std::string& path);

// A file name of this test process's own under /tmp.
std::string TempFile(const std::string& what);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace tarn::test
