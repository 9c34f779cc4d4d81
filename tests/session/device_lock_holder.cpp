// Test helper: takes the device lock of its argument and prints "locked", or "refused: " and
// the holder it names, or "unusable: " and the text for a lock that cannot be kept. Keeps
// running until its standard input closes or it is killed; the line "drop" on its input drops
// the lock while it runs, answered by "dropped".
#include <cstdio>
#include <cstring>
#include <string>

#include "session/device_lock.h"
#include "session/lock_problem_text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: device_lock_holder DEVICE\n");
    return 2;
  }
  std::string holder;
  tarn::LockProblem problem;
  auto lock = tarn::DeviceLock::TryAcquire(argv[1], &holder, &problem);
  if (lock) {
    std::printf("locked\n");
  } else if (problem.kind != tarn::LockProblem::Kind::kNone) {
    std::printf("unusable: %s\n", tarn::LockProblemText(problem).c_str());
  } else {
    std::printf("refused: %s\n", holder.c_str());
  }
  std::fflush(stdout);
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    if (std::strcmp(line, "drop\n") == 0) {
      lock.reset();
      std::printf("dropped\n");
      std::fflush(stdout);
    }
  }
  return 0;
}
