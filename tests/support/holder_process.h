// A helper program of this build that takes something and holds it until its standard input
// closes or it is killed: started beside the test executable, with pipes on its standard input
// and output, on Linux and under Wine alike.
#pragma once

#include <string>

namespace tarn::test {

class HolderProcess {
 public:
  // Starts `program` (its name, without ".exe") with `argument` unless that is empty, and waits
  // for the first line it writes. The argument is quoted, and must hold no quote.
  explicit HolderProcess(const std::string& program, const std::string& argument = {});
  // Ends the holder if it still runs.
  ~HolderProcess();
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  // What it wrote first, without the line end; empty when it could not be started or said
  // nothing.
  const std::string& firstLine() const { return m_firstLine; }
  // Its process id; 0 when it could not be started.
  long long pid() const { return m_pid; }
  // Writes `line` to its input and returns the line it answers with (empty when it does not).
  std::string Ask(const std::string& line);
  // Closes its input, so it lets go of what it holds and exits; waits for that.
  void End();
  // Kills it without letting it clean up (SIGKILL, TerminateProcess); waits for that.
  void Kill();

 private:
  std::string ReadLine();
  void Wait();

#ifdef _WIN32
  using Handle = void*;  // HANDLE
  static constexpr Handle kNone = nullptr;
#else
  using Handle = int;  // pid or file descriptor
  static constexpr Handle kNone = -1;
#endif
  Handle m_process = kNone;
  Handle m_input = kNone;
  Handle m_output = kNone;
  long long m_pid = 0;
  std::string m_firstLine;
};

}  // namespace tarn::test
