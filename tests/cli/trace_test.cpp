// The --trace format, and the file written from two threads at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "cli/trace_log.h"

namespace tarn::cli {
namespace {

TEST(TraceLog, LineFormat) {
  const std::vector<uint8_t> identity{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
  EXPECT_EQ(FormatTraceLine(0, TraceDirection::kToDevice, identity), "0 > F0 7E 00 06 01 F7");
  const std::vector<uint8_t> status{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x0B, 0xF7};
  EXPECT_EQ(FormatTraceLine(12345, TraceDirection::kFromDevice, status),
            "12345 < F0 52 00 6E 00 0B F7");
  EXPECT_EQ(FormatTraceLine(7, TraceDirection::kToDevice, {}), "7 >");
  const std::vector<uint8_t> all{0x0A, 0xAB, 0xFF, 0x10};
  EXPECT_EQ(FormatTraceLine(1, TraceDirection::kFromDevice, all), "1 < 0A AB FF 10");
}

TEST(TraceLog, TwoThreadsWriteWholeLinesInTimeOrder) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("tarn-trace-test-" + std::to_string(getpid()) + ".txt"))
                               .string();
  std::string error;
  auto log = TraceLog::Create(path, "# header", &error);
  ASSERT_TRUE(log) << error;
  const std::vector<uint8_t> block(4700, 0x55);
  const std::vector<uint8_t> answer{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7};
  constexpr int kLines = 200;
  std::thread sender([&] {
    for (int i = 0; i < kLines; ++i)
      log->Write(TraceDirection::kToDevice, block);
  });
  for (int i = 0; i < kLines; ++i)
    log->Write(TraceDirection::kFromDevice, answer);
  sender.join();
  ASSERT_TRUE(log->Close(&error)) << error;

  std::ifstream file(path);
  const std::regex line("([0-9]+) ([<>])(( [0-9A-F]{2})*)");
  int sent = 0;
  int received = 0;
  long last = 0;
  std::string header;
  std::getline(file, header);
  EXPECT_EQ(header, "# header");
  for (std::string text; std::getline(file, text);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line)) << text.substr(0, 80);
    const long ms = std::stol(match[1]);
    EXPECT_GE(ms, last);
    last = ms;
    const size_t bytes = match[3].length() / 3;
    if (match[2] == ">") {
      ++sent;
      EXPECT_EQ(bytes, block.size());
    } else {
      ++received;
      EXPECT_EQ(bytes, answer.size());
    }
  }
  EXPECT_EQ(sent, kLines);
  EXPECT_EQ(received, kLines);
  // Windows refuses to remove a file that is still open.
  file.close();
  std::filesystem::remove(path);
}

TEST(TraceLog, UnwritableFileIsReported) {
  std::string error;
  EXPECT_FALSE(TraceLog::Create("/nonexistent-folder/trace.txt", "#", &error));
  EXPECT_NE(error.find("/nonexistent-folder/trace.txt"), std::string::npos);
}

TEST(TraceLog, FailedWritesAreReportedAtClose) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::string error;
  auto log = TraceLog::Create("/dev/full", "#", &error);
  ASSERT_TRUE(log) << error;
  const std::vector<uint8_t> block(8000, 0x01);
  log->Write(TraceDirection::kToDevice, block);
  EXPECT_FALSE(log->Close(&error));
  EXPECT_NE(error.find("incomplete"), std::string::npos);
}

}  // namespace
}  // namespace tarn::cli
