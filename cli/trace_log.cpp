#include "cli/trace_log.h"

#include <cerrno>
#include <cstring>

namespace tarn::cli {

std::string FormatTraceLine(int64_t milliseconds, TraceDirection direction,
                            std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string line = std::to_string(milliseconds);
  switch (direction) {
    case TraceDirection::kToDevice:
      line += " >";
      break;
    case TraceDirection::kFromDevice:
      line += " <";
      break;
    case TraceDirection::kDropped:
      line += " x";
      break;
  }
  line.reserve(line.size() + bytes.size() * 3);
  for (const uint8_t byte : bytes) {
    line += ' ';
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
  }
  return line;
}

std::unique_ptr<TraceLog> TraceLog::Create(const std::string& path, const std::string& header,
                                           std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    if (error) *error = "cannot create the trace file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::fprintf(file, "%s\n", header.c_str());
  return std::unique_ptr<TraceLog>(new TraceLog(file, path));
}

TraceLog::TraceLog(std::FILE* file, std::string path)
    : m_file(file), m_path(std::move(path)), m_start(Clock::now()) {}

TraceLog::~TraceLog() {
  Close(nullptr);
}

void TraceLog::Write(TraceDirection direction, std::span<const uint8_t> bytes) {
  // Stamped under the lock, so that the lines of both threads stay in time order.
  std::lock_guard lock(m_mutex);
  if (!m_file) return;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
  const std::string line = FormatTraceLine(elapsed, direction, bytes);
  std::fputs(line.c_str(), m_file);
  std::fputc('\n', m_file);
}

bool TraceLog::Close(std::string* error) {
  std::lock_guard lock(m_mutex);
  if (!m_file) return true;
  const bool failed = std::ferror(m_file) != 0;
  const bool closed = std::fclose(m_file) == 0;
  m_file = nullptr;
  if (!failed && closed) return true;
  if (error) *error = "the trace file " + m_path + " is incomplete: writing it failed";
  return false;
}

}  // namespace tarn::cli
