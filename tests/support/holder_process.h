// A helper program of this build that takes something and holds it until its standard input
// closes or it is killed: started beside the test executable, with pipes on its standard input
// and output, on Linux and under Wine alike.
#pragma once

#include <string>

#include "tests/support/child_process.h"

namespace tarn::test {

class HolderProcess {
 public:
  // Starts `program` (its name, without ".exe") with `argument` unless that is empty, and waits
  // for the first line it writes. The argument must hold no quote.
  explicit HolderProcess(const std::string& program, const std::string& argument = {});
  // Lets it end as End() does.
  ~HolderProcess() { End(); }
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  // What it wrote first, without the line end; empty when it could not be started or said
  // nothing.
  const std::string& firstLine() const { return m_firstLine; }
  // Its process id; 0 when it could not be started.
  long long pid() const { return m_child.Started() ? m_child.Pid() : 0; }
  // Writes `line` to its input and returns the line it answers with (empty when it does not).
  std::string Ask(const std::string& line);
  // Closes its input, so it lets go of what it holds and exits; waits for that.
  void End();
  // Kills it without letting it clean up (SIGKILL, TerminateProcess); waits for that.
  void Kill() { m_child.Kill(); }

 private:
  std::string ReadLine();

  ChildProcess m_child;
  std::string m_firstLine;
};

}  // namespace tarn::test
