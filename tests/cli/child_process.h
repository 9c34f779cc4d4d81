// A program of this build run as a child process, its output captured in files so that it can
// never block on a full pipe, and its signals at their defaults whatever the test runner set.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarn::test {

struct ChildResult {
  bool ended = false;  // false: killed at the time limit
  int exitCode = -1;   // when it exited
  int signal = 0;      // when a signal ended it
  std::string out;
  std::string err;          // without the stand-in opt-in's warning lines
  int standInWarnings = 0;  // those lines
};

// Whether the child may write the stand-in image set to a device on real ports
// (TARN_ALLOW_STAND_IN=1): the tests drive tarn-device-sim, so they opt in, but for the tests of
// the refusal itself.
enum class StandIn { kAllowed, kNotAllowed };

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv, StandIn standIn = StandIn::kAllowed);
  // Kills the child if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  // The first line of its standard output that starts with `prefix`, once it has been written.
  std::optional<std::string> WaitForLine(const std::string& prefix,
                                         std::chrono::milliseconds timeout) const;
  // Whether its standard error holds `text` yet.
  bool WaitForError(const std::string& text, std::chrono::milliseconds timeout) const;
  void Signal(int signal) const;
  // Waits for the end (killing it at the limit) and collects both outputs.
  ChildResult Wait(std::chrono::milliseconds timeout);

  std::string Out() const;
  // Without the lines of the opt-in's warning, which every update of an opted-in CLI prints.
  std::string Err() const;

 private:
  pid_t m_pid = -1;
  std::string m_outPath;
  std::string m_errPath;
};

// Runs `argv` to its end.
ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     StandIn standIn = StandIn::kAllowed);

}  // namespace tarn::test
