// A running instance_holder, started with pipes on its standard input and output.
#pragma once

namespace tarn::test {

class HolderProcess {
 public:
  // Starts the holder and waits for the number it reports.
  HolderProcess();
  // Ends the holder if it still runs.
  ~HolderProcess();
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  // The claimed number (0 = refused); -1 when the holder could not be started or said nothing.
  int number() const { return m_number; }
  // Closes its input, so it lets go of its number and exits; waits for that.
  void End();
  // Kills it without letting it clean up (SIGKILL, TerminateProcess); waits for that.
  void Kill();

 private:
  int ReadNumber();
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
  int m_number = -1;
};

}  // namespace tarn::test
