// What the front ends say when no lock can be kept: the file or folder and the fix.
#pragma once

#include <string>

#include "instance/lock_problem.h"

namespace tarn {

// The text for `problem`, naming its path; empty for kNone or a problem without a path.
std::string LockProblemText(const LockProblem& problem);

}  // namespace tarn
