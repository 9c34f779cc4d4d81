// A program run by a test as a child process: its output captured (in files, so that it never
// blocks on a full pipe, or through a pipe line by line), its signals at their defaults whatever
// the test runner set, its end awaited with a limit, and never left running after the test.
// On Windows (under Wine) the environment is passed on as it is, and the child either has pipes
// on both its input and output or the test's own output.
#pragma once

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
// the refusal itself. Whatever this process has of the variable is never passed on.
enum class StandIn { kAllowed, kNotAllowed };

struct ChildOptions {
  enum class Output {
    kFiles,    // standard output and error each to a file: Out(), Err(), WaitForLine()
    kLog,      // both to one file: Out()
    kPipe,     // standard output to a pipe: ReadLine(); standard error the test's own
    kInherit,  // both the test's own
  };
  Output output = Output::kFiles;
  bool pipeInput = false;  // WriteLine() and CloseInput(); otherwise its input is empty
  StandIn standIn = StandIn::kNotAllowed;
  // Ended by the system when the test process dies, however it dies (Linux).
  bool endsWithTest = false;
};

class ChildProcess {
 public:
  // argv[0] is a path, or a name looked up on PATH.
  explicit ChildProcess(const std::vector<std::string>& argv, StandIn standIn = StandIn::kAllowed);
  ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options);
  // Kills the child if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  long long Pid() const { return m_pid; }
#ifdef _WIN32
  // The thread that its first window belongs to.
  unsigned long MainThread() const {
    return m_mainThread;
  }
#endif

  // The next line of its piped output, without the line end; none when it ends or says nothing
  // within `timeout`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  bool WriteLine(const std::string& line);
  // Its input reaches its end.
  void CloseInput();

  // Whether it has ended, without waiting.
  bool HasEnded();
  // Waits for the end (killing it at the limit) and collects what it wrote to files.
  ChildResult Wait(std::chrono::milliseconds timeout);
  // Ends it at once (SIGKILL, TerminateProcess) and waits for that.
  void Kill();

#ifndef _WIN32
  // The first line of its standard output that starts with `prefix`, once it has been written.
  std::optional<std::string> WaitForLine(const std::string& prefix,
                                         std::chrono::milliseconds timeout) const;
  // Whether its standard error holds `text` yet.
  bool WaitForError(const std::string& text, std::chrono::milliseconds timeout) const;
  void Signal(int signal) const;

  std::string Out() const;
  // Without the lines of the opt-in's warning, which every update of an opted-in CLI prints.
  std::string Err() const;
#endif

 private:
#ifdef _WIN32
  using Handle = void*;  // HANDLE
  static constexpr Handle kNone = nullptr;
#else
  using Handle = int;  // file descriptor
  static constexpr Handle kNone = -1;
#endif
  Handle m_process = kNone;        // Windows only
  unsigned long m_mainThread = 0;  // Windows only
  Handle m_input = kNone;
  Handle m_output = kNone;
  long long m_pid = -1;
  bool m_ended = false;
  int m_status = 0;  // as waitpid gives it, or the exit code on Windows
  std::string m_outPath;
  std::string m_errPath;
};

// Runs `argv` to its end.
ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     StandIn standIn = StandIn::kAllowed);

// Where `name` is found on PATH; empty when it is not.
std::string FindOnPath(const std::string& name);

}  // namespace tarn::test
