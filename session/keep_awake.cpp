#include "session/keep_awake.h"

namespace tarn {

std::string NotKeptAwakeNotice(const std::string& problem) {
  return "The machine is not kept awake during this update (" + problem + ").";
}

}  // namespace tarn
