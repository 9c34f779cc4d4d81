// The request/answer turn and the failure report that the update worker's procedures share.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/update_context.h"

namespace tarn {

enum class AnswerKind { kStatus, kTimedOut, kClosing };

struct Answer {
  AnswerKind kind;
  int32_t status;  // meaningful for kStatus only
};

// Sends the first `length` bytes of TransmitBuffer as the next request. Any answer that came
// before it is forgotten first, so only an answer to this request can release its wait.
// True when the message went out whole.
bool SendRequest(UpdateContext& context, int32_t length);

// Waits for the answer to the request just sent. kClosing once the owner has aborted, however
// the wait ended.
Answer AwaitAnswer(UpdateContext& context, std::chrono::milliseconds timeout);

// Error box with `text`, then the controls back to the user. Nothing once the owner is
// closing: its view is going away.
void Fail(UpdateContext& context, const std::string& text);

// "step/count", as the step text shows it.
std::string StepText(int32_t step, int32_t count);

}  // namespace tarn
