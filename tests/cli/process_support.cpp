#include "tests/cli/process_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>

namespace tarn::test {

std::vector<TraceLine> ReadTrace(const std::string& path) {
  static const std::regex kLine("([0-9]+) ([<>x])((?: [0-9A-F]{2})+)");
  std::vector<TraceLine> lines;
  std::ifstream file(path);
  // The header names the image set the update wrote.
  std::string header;
  std::getline(file, header);
  EXPECT_EQ(header.rfind("# Firmware: system ", 0), 0u) << header;
  for (std::string text; std::getline(file, text);) {
    std::smatch match;
    if (!std::regex_match(text, match, kLine)) {
      ADD_FAILURE() << "trace line does not parse: " << text.substr(0, 80);
      continue;
    }
    TraceLine line{std::stol(match[1]), match[2].str()[0], {}, text.substr(match[1].length() + 1)};
    const std::string hex = match[3];
    for (size_t at = 1; at < hex.size(); at += 3)
      line.bytes.push_back(static_cast<unsigned>(std::stoul(hex.substr(at, 2), nullptr, 16)));
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string TempFile(const std::string& what) {
  static std::atomic<int> counter{0};
  return "/tmp/tarn-cli-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + what;
}

}  // namespace tarn::test
