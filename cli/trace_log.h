// The --trace file: every SysEx message sent and received, one per line, as
// "<ms since start> <'>' to the device | '<' from it> <upper-case hex bytes>"; a message from it
// that answered nothing owed and was dropped follows its '<' line once more, marked 'x'.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "cli/progress_tracker.h"
#include "session/update_session.h"

namespace tarn::cli {

std::string FormatTraceLine(int64_t milliseconds, TraceDirection direction,
                            std::span<const uint8_t> bytes);

class TraceLog {
 public:
  // Nothing, with `error` set, when the file cannot be created. `header` is its first line.
  static std::unique_ptr<TraceLog> Create(const std::string& path, const std::string& header,
                                          std::string* error);
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // From the worker and the timer thread.
  void Write(TraceDirection direction, std::span<const uint8_t> bytes);
  // Flushes and closes; false, with `error` set, when any line could not be written.
  bool Close(std::string* error);

 private:
  TraceLog(std::FILE* file, std::string path);

  std::mutex m_mutex;
  std::FILE* m_file;
  const std::string m_path;
  const Clock::time_point m_start;
};

}  // namespace tarn::cli
