#include "tests/support/child_process.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;
#endif

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::chrono::milliseconds Left(std::chrono::steady_clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                               std::chrono::steady_clock::now());
}

std::string ReadWholeFile(const std::string& path) {
  if (path.empty()) return {};
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string WithoutStandInWarnings(const std::string& text, int* count) {
  static const std::string kWarning = "Warning: TARN_ALLOW_STAND_IN=1: ";
  std::string kept;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kWarning, 0) == 0) {
      if (count) ++*count;
      continue;
    }
    kept += line;
    if (!lines.eof()) kept += '\n';
  }
  return kept;
}

}  // namespace

ChildResult ChildProcess::Wait(std::chrono::milliseconds timeout) {
  ChildResult result;
  if (!Started()) return result;
  result.ended = PollUntil([&] { return HasEnded(); }, timeout);
  if (!result.ended) Kill();
#ifdef _WIN32
  result.exitCode = m_status;
#else
  if (WIFEXITED(m_status)) result.exitCode = WEXITSTATUS(m_status);
  if (WIFSIGNALED(m_status)) result.signal = WTERMSIG(m_status);
#endif
  result.out = ReadWholeFile(m_outPath);
  result.err = WithoutStandInWarnings(ReadWholeFile(m_errPath), &result.standInWarnings);
  return result;
}

ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     StandIn standIn) {
  ChildProcess child(argv, standIn);
  return child.Wait(timeout);
}

#ifdef _WIN32

ChildProcess::ChildProcess(const std::vector<std::string>& argv, StandIn standIn)
    : ChildProcess(argv, ChildOptions{ChildOptions::Output::kFiles, false, standIn}) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
  using Output = ChildOptions::Output;
  const bool piped = options.output == Output::kPipe && options.pipeInput;
  const bool inherited = options.output == Output::kInherit && !options.pipeInput;
  if (argv.empty() || !(piped || inherited)) return;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  HANDLE childInput = nullptr;
  HANDLE childOutput = nullptr;
  if (piped) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&childInput, &m_input, &inheritable, 0)) return;
    if (!CreatePipe(&m_output, &childOutput, &inheritable, 0)) {
      CloseHandle(childInput);
      return;
    }
    // Only the child's ends may be inherited, or later children would keep this one's input
    // open.
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION started{};
  // Each argument quoted, for folders with blanks; none may hold a quote.
  std::string command;
  for (const std::string& arg : argv) {
    if (!command.empty()) command.push_back(' ');
    command.push_back('"');
    command += arg;
    command.push_back('"');
  }
  const BOOL ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr, piped, 0, nullptr,
                                 nullptr, &startup, &started);
  if (piped) {
    CloseHandle(childInput);
    CloseHandle(childOutput);
  }
  if (!ok) return;
  CloseHandle(started.hThread);
  m_process = started.hProcess;
  m_pid = started.dwProcessId;
  m_mainThread = started.dwThreadId;
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (Started() && !HasEnded()) Kill();
  if (m_output != kNone) CloseHandle(m_output);
  if (m_process != kNone) CloseHandle(m_process);
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  if (m_output == kNone) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string line;
  while (true) {
    DWORD available = 0;
    if (!PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr)) return std::nullopt;
    if (available == 0) {
      if (Left(deadline) <= 0ms) return std::nullopt;
      Sleep(5);
      continue;
    }
    char c;
    DWORD got = 0;
    if (!::ReadFile(m_output, &c, 1, &got, nullptr) || got != 1) return std::nullopt;
    if (c == '\n') break;
    line += c;
  }
  // A child's C runtime writes text-mode line ends.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  return m_input != kNone &&
         WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void ChildProcess::CloseInput() {
  if (m_input != kNone) CloseHandle(m_input);
  m_input = kNone;
}

bool ChildProcess::HasEnded() {
  if (!Started() || m_ended) return true;
  if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(m_process, &code);
  m_status = static_cast<int>(code);
  m_ended = true;
  return true;
}

void ChildProcess::Kill() {
  if (!Started() || m_ended) return;
  TerminateProcess(m_process, 9);
  WaitForSingleObject(m_process, INFINITE);
  HasEnded();
}

std::string FindOnPath(const std::string& name) {
  char path[MAX_PATH];
  const DWORD length = SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, path, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

#else

namespace {

std::string TempPath(const char* what) {
  static std::atomic<int> counter{0};
  return "/tmp/tarn-test-child-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
         "." + what;
}

// This process's environment with the stand-in opt-in set or taken out.
std::vector<std::string> Environment(StandIn standIn) {
  static const std::string kName = "TARN_ALLOW_STAND_IN=";
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::string(*variable).rfind(kName, 0) != 0) variables.emplace_back(*variable);
  }
  if (standIn == StandIn::kAllowed) variables.push_back(kName + "1");
  return variables;
}

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& text : strings)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

void CloseBoth(int (&ends)[2]) {
  for (int& end : ends) {
    if (end >= 0) close(end);
    end = -1;
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, StandIn standIn)
    : ChildProcess(argv, ChildOptions{ChildOptions::Output::kFiles, false, standIn}) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
  using Output = ChildOptions::Output;
  if (argv.empty()) return;
  const std::string program =
      argv[0].find('/') == std::string::npos ? FindOnPath(argv[0]) : argv[0];
  if (program.empty()) return;
  int input[2] = {-1, -1};
  int output[2] = {-1, -1};
  if (options.pipeInput && pipe2(input, O_CLOEXEC) != 0) return;
  if (options.output == Output::kPipe && pipe2(output, O_CLOEXEC) != 0) {
    CloseBoth(input);
    return;
  }
  if (options.output == Output::kFiles || options.output == Output::kLog) {
    m_outPath = TempPath("out");
  }
  if (options.output == Output::kFiles) m_errPath = TempPath("err");

  // All the child needs is made before the fork: after it, only async-signal-safe calls.
  const std::vector<char*> args = Pointers(argv);
  const std::vector<std::string> environment = Environment(options.standIn);
  const std::vector<char*> variables = Pointers(environment);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    if (options.endsWithTest) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
    }
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    const int in = options.pipeInput ? input[0] : open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = options.output == Output::kPipe      ? output[1]
                    : options.output == Output::kInherit ? STDOUT_FILENO
                                                         : open(m_outPath.c_str(), flags, 0600);
    const int err = options.output == Output::kFiles ? open(m_errPath.c_str(), flags, 0600)
                    : options.output == Output::kLog ? out
                                                     : STDERR_FILENO;
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, STDIN_FILENO);
    if (out != STDOUT_FILENO) dup2(out, STDOUT_FILENO);
    if (err != STDERR_FILENO) dup2(err, STDERR_FILENO);
    // A test runner started in the background ignores SIGINT; the child must not inherit that.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
      sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(program.c_str(), args.data(), variables.data());
    _exit(127);
  }
  if (input[0] >= 0) close(input[0]);
  if (output[1] >= 0) close(output[1]);
  m_input = input[1];
  m_output = output[0];
  if (pid > 0) m_pid = pid;
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (Started() && !HasEnded()) Kill();
  if (m_output != kNone) close(m_output);
  if (!m_outPath.empty()) unlink(m_outPath.c_str());
  if (!m_errPath.empty()) unlink(m_errPath.c_str());
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  if (m_output == kNone) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string line;
  while (true) {
    const auto left = Left(deadline);
    pollfd ready{m_output, POLLIN, 0};
    const int polled = left > 0ms ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    char c;
    if (read(m_output, &c, 1) != 1) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  return m_input != kNone &&
         write(m_input, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::CloseInput() {
  if (m_input != kNone) close(m_input);
  m_input = kNone;
}

bool ChildProcess::HasEnded() {
  if (!Started() || m_ended) return true;
  m_ended = waitpid(static_cast<pid_t>(m_pid), &m_status, WNOHANG) == m_pid;
  return m_ended;
}

void ChildProcess::Kill() {
  if (!Started() || m_ended) return;
  kill(static_cast<pid_t>(m_pid), SIGKILL);
  waitpid(static_cast<pid_t>(m_pid), &m_status, 0);
  m_ended = true;
}

std::optional<std::string> ChildProcess::WaitForLine(const std::string& prefix,
                                                     std::chrono::milliseconds timeout) const {
  std::optional<std::string> found;
  PollUntil(
      [&] {
        std::istringstream lines(Out());
        for (std::string line; std::getline(lines, line);) {
          if (line.rfind(prefix, 0) == 0 && !lines.eof()) {
            found = line;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

bool ChildProcess::WaitForError(const std::string& text, std::chrono::milliseconds timeout) const {
  return PollUntil([&] { return Err().find(text) != std::string::npos; }, timeout);
}

void ChildProcess::Signal(int signal) const {
  if (Started() && !m_ended) kill(static_cast<pid_t>(m_pid), signal);
}

std::string ChildProcess::Out() const {
  return ReadWholeFile(m_outPath);
}

std::string ChildProcess::Err() const {
  return WithoutStandInWarnings(ReadWholeFile(m_errPath), nullptr);
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

#endif

}  // namespace tarn::test
