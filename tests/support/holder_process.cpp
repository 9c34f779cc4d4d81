#include "tests/support/holder_process.h"

#include <chrono>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// Generous: Wine starts a program slowly on a busy machine.
constexpr auto kAnswerLimit = 60s;

// The holders are built next to the test executables.
std::string ProgramPath(const std::string& program) {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + program + ".exe";
#else
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / program).string();
#endif
}

std::vector<std::string> Arguments(const std::string& program, const std::string& argument) {
  std::vector<std::string> argv{ProgramPath(program)};
  if (!argument.empty()) argv.push_back(argument);
  return argv;
}

}  // namespace

HolderProcess::HolderProcess(const std::string& program, const std::string& argument)
    : m_child(Arguments(program, argument), ChildOptions{ChildOptions::Output::kPipe, true}) {
  m_firstLine = ReadLine();
}

std::string HolderProcess::ReadLine() {
  return m_child.ReadLine(kAnswerLimit).value_or("");
}

std::string HolderProcess::Ask(const std::string& line) {
  return m_child.WriteLine(line) ? ReadLine() : std::string();
}

void HolderProcess::End() {
  m_child.CloseInput();
  m_child.Wait(kAnswerLimit);
}

}  // namespace tarn::test
