#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

std::string TempPath(const char* what) {
  static std::atomic<int> counter{0};
  return "/tmp/tarn-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "." +
         what;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
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

ChildProcess::ChildProcess(const std::vector<std::string>& argv, StandIn standIn)
    : m_outPath(TempPath("out")), m_errPath(TempPath("err")) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A test runner started in the background ignores SIGINT; the child must not inherit that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaddset(&defaults, signal);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const std::vector<std::string> environment = Environment(standIn);
  std::vector<char*> variables;
  for (const std::string& variable : environment)
    variables.push_back(const_cast<char*>(variable.c_str()));
  variables.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, &attributes, args.data(), variables.data()) == 0)
    m_pid = pid;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  unlink(m_outPath.c_str());
  unlink(m_errPath.c_str());
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
  if (m_pid > 0) kill(m_pid, signal);
}

ChildResult ChildProcess::Wait(std::chrono::milliseconds timeout) {
  ChildResult result;
  if (m_pid <= 0) return result;
  int status = 0;
  result.ended = PollUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
  if (!result.ended) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
  }
  m_pid = -1;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = Out();
  result.err = WithoutStandInWarnings(ReadFile(m_errPath), &result.standInWarnings);
  return result;
}

std::string ChildProcess::Out() const {
  return ReadFile(m_outPath);
}

std::string ChildProcess::Err() const {
  return WithoutStandInWarnings(ReadFile(m_errPath), nullptr);
}

ChildResult RunChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     StandIn standIn) {
  ChildProcess child(argv, standIn);
  return child.Wait(timeout);
}

}  // namespace tarn::test
