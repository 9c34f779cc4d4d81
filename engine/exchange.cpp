#include "engine/exchange.h"

#include <algorithm>

namespace tarn {
namespace {

constexpr std::chrono::milliseconds kUnaskedWindowMinimum{20};

// An eighth of each new sample, as TCP smooths its round-trip time.
void NoteRoundTrip(RunRecord& run, std::chrono::steady_clock::duration sample) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sample);
  run.roundTrip =
      run.roundTrip.count() == 0 ? micros : run.roundTrip + (micros - run.roundTrip) / 8;
}

}  // namespace

Answer Exchange(UpdateContext& context, const Request& request) {
  if (context.Closing()) return {AnswerKind::kClosing, kStatusClosing};
  const bool expected = context.Answers().Expect(request.key, context.Times().settleWait, [&] {
    // Nothing that came before this request can release its wait.
    context.ForgetAnswer();
  });
  if (!expected || context.Closing()) return {AnswerKind::kClosing, kStatusClosing};
  if (request.eachTry) request.eachTry();
  const bool whole = context.SendSysEx(context.TransmitBuffer(), request.length) == 0;
  // Gone before the wait began (the input may know it while the output still sends): the reset
  // above has cleared its wake-up.
  if (context.PortGone()) {
    context.Answers().Forgo();
    return {AnswerKind::kPortGone, 0, false};
  }
  if (!whole && request.mustGoOut) {
    context.Answers().Forgo();
    return {AnswerKind::kNotSent, 0, false};
  }
  // A send that failed otherwise may still have reached the device: its answer stays owed.
  if (request.sent) request.sent();
  const auto start = std::chrono::steady_clock::now();
  const std::optional<int32_t> status = context.AwaitAnswer(request.timeout);
  if (status) NoteRoundTrip(context.ThisRun(), std::chrono::steady_clock::now() - start);
  if (context.Closing() || status == kStatusClosing) {
    return {AnswerKind::kClosing, kStatusClosing, whole};
  }
  if (context.PortGone()) return {AnswerKind::kPortGone, 0, whole};
  if (!status) return {AnswerKind::kTimedOut, 0, whole};
  return {AnswerKind::kStatus, *status, whole};
}

bool AnswerCameUnasked(UpdateContext& context) {
  using std::chrono::milliseconds;
  const RunRecord& run = context.ThisRun();
  const auto window = std::clamp(
      std::chrono::duration_cast<milliseconds>(4 * run.roundTrip) + kUnaskedWindowMinimum,
      kUnaskedWindowMinimum, context.Times().settleWait);
  AnswerLedger& answers = context.Answers();
  return answers.Unasked() > run.unaskedBefore || answers.WaitUnasked(run.unaskedBefore, window);
}

}  // namespace tarn
