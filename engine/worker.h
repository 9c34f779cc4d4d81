// The request/answer turn and the failure report that the update worker's procedures share.
#pragma once

#include <chrono>
#include <cstdint>

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

// Error box with `text`, then the controls back to the user; the run ends failed with that
// text. Nothing is shown once the owner is closing: its window is going away.
void Fail(UpdateContext& context, TextRef text);

}  // namespace tarn
