// One request and its own answer: the only way the update worker talks to the device.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "engine/answer_ledger.h"
#include "engine/update_context.h"

namespace tarn {

// A message built in TransmitBuffer, and what goes with it.
struct Request {
  Request(RequestKey key, int32_t length, std::chrono::milliseconds timeout)
      : key(key), length(length), timeout(timeout) {}

  RequestKey key;
  int32_t length;
  std::chrono::milliseconds timeout;
  // Runs before each try of the message goes out, once the answers still owed for other data
  // are settled: only answers to this request can come in after it.
  std::function<void()> eachTry;
  // Runs once the message has been handed to the port, before the wait.
  std::function<void()> sent;
  // A message that did not go out whole is not waited for (kNotSent).
  bool mustGoOut = false;
};

enum class AnswerKind {
  kStatus,    // the answer came: `status`
  kTimedOut,  // none within the wait
  kClosing,   // the owner is going away
  kPortGone,  // the output port reported that the device is gone: no answer can come
  kNotSent,   // it did not go out whole, and was not to be waited for then
};

struct Answer {
  AnswerKind kind;
  int32_t status = 0;  // meaningful for kStatus only
  bool whole = false;  // the message went out whole
};

// Sends `request` and waits for its own answer. A request for other data than the last first
// takes in the answers still owed (see AnswerLedger).
Answer Exchange(UpdateContext& context, const Request& request);

// Whether an answer came that no request was owed since the device identified itself, waiting
// about four round trips for one still on its way. Such an answer means one answer may have
// confirmed the request after its own: when the MIDI path delivers an answer twice, the last
// request's own answer is the one that comes unasked, right after it was confirmed.
bool AnswerCameUnasked(UpdateContext& context);

}  // namespace tarn
