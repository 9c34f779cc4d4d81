#include <windows.h>

#include "session/keep_awake.h"

namespace tarn {
namespace {

// The state belongs to the thread that set it: the update's own.
class ExecutionState final : public KeepAwake {
 public:
  ~ExecutionState() override { SetThreadExecutionState(ES_CONTINUOUS); }
};

}  // namespace

std::unique_ptr<KeepAwake> KeepMachineAwake(const std::string&, std::string* problem) {
  if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
    if (problem) *problem = "SetThreadExecutionState failed";
    return nullptr;
  }
  return std::make_unique<ExecutionState>();
}

}  // namespace tarn
