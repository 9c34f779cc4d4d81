#include "tests/support/holder_process.h"

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace tarn::test {

#ifdef _WIN32

namespace {

// The holders are built next to the test executables.
std::string ProgramPath(const std::string& program) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + program + ".exe";
}

}  // namespace

HolderProcess::HolderProcess(const std::string& program, const std::string& argument) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_input = nullptr;
  HANDLE child_output = nullptr;
  if (!CreatePipe(&child_input, &m_input, &inheritable, 0)) return;
  if (!CreatePipe(&m_output, &child_output, &inheritable, 0)) {
    CloseHandle(child_input);
    return;
  }
  // Only the child's ends may be inherited, or later holders would keep this one's input open.
  SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_input;
  startup.hStdOutput = child_output;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  // Quoted, for folders with blanks; built in place because GCC 12 warns falsely on "x" + s.
  std::string command = ProgramPath(program);
  command.insert(command.begin(), '"');
  command.push_back('"');
  if (!argument.empty()) {
    command += " \"";
    command += argument;
    command.push_back('"');
  }
  const BOOL ok = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &started);
  CloseHandle(child_input);
  CloseHandle(child_output);
  if (!ok) return;
  CloseHandle(started.hThread);
  m_process = started.hProcess;
  m_pid = started.dwProcessId;
  m_firstLine = ReadLine();
}

std::string HolderProcess::ReadLine() {
  std::string line;
  char c;
  DWORD got = 0;
  while (ReadFile(m_output, &c, 1, &got, nullptr) && got == 1 && c != '\n')
    line += c;
  // The holders' C runtime writes text-mode line ends.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string HolderProcess::Ask(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  if (m_input == kNone ||
      !WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    return {};
  }
  return ReadLine();
}

void HolderProcess::End() {
  if (m_input != kNone) CloseHandle(m_input);
  m_input = kNone;
  Wait();
}

void HolderProcess::Kill() {
  if (m_process != kNone) TerminateProcess(m_process, 9);
  Wait();
}

void HolderProcess::Wait() {
  if (m_process != kNone) {
    WaitForSingleObject(m_process, INFINITE);
    CloseHandle(m_process);
  }
  m_process = kNone;
}

HolderProcess::~HolderProcess() {
  End();
  if (m_output != kNone) CloseHandle(m_output);
}

#else

namespace {

// The holders are built next to the test executables.
std::string ProgramPath(const std::string& program) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / program).string();
}

}  // namespace

HolderProcess::HolderProcess(const std::string& program, const std::string& argument) {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::string path = ProgramPath(program);
  std::string first = argument;
  char* argv[] = {path.data(), argument.empty() ? nullptr : first.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  m_input = input[1];
  m_output = output[0];
  if (spawned != 0) return;
  m_process = pid;
  m_pid = pid;
  m_firstLine = ReadLine();
}

std::string HolderProcess::ReadLine() {
  std::string line;
  char c;
  while (read(m_output, &c, 1) == 1 && c != '\n')
    line += c;
  return line;
}

std::string HolderProcess::Ask(const std::string& line) {
  const std::string text = line + "\n";
  if (m_input == kNone ||
      write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    return {};
  return ReadLine();
}

void HolderProcess::End() {
  if (m_input != kNone) close(m_input);
  m_input = kNone;
  Wait();
}

void HolderProcess::Kill() {
  if (m_process != kNone) kill(m_process, SIGKILL);
  Wait();
}

void HolderProcess::Wait() {
  if (m_process != kNone) waitpid(m_process, nullptr, 0);
  m_process = kNone;
}

HolderProcess::~HolderProcess() {
  End();
  if (m_output != kNone) close(m_output);
}

#endif

}  // namespace tarn::test
