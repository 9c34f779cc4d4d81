// What the engine tells its front end while an update runs, and how the run ended, all in
// types. Texts travel as string-table ids with their arguments; a front end looks them up
// (FormatText) at the moment it shows them and never reads state back out of a text.
#pragma once

#include <cstdint>
#include <variant>

#include "resources/string_table.h"

namespace tarn {

// The step box: step `step` of the plan's `count` steps, 0 before the first. While the written
// flash is read back and compared, it shows the verification's own text instead.
struct StepEvent {
  int32_t step = 0;
  int32_t count = 0;
  bool verifying = false;
  bool operator==(const StepEvent&) const = default;
};

// The status line; an empty text (id 0) clears it.
struct StatusEvent {
  TextRef text;
  bool operator==(const StatusEvent&) const = default;
};

struct ProgressRangeEvent {
  int32_t low = 0;
  int32_t high = 0;
  bool operator==(const ProgressRangeEvent&) const = default;
};

struct ProgressPositionEvent {
  int32_t position = 0;
  bool operator==(const ProgressPositionEvent&) const = default;
};

// An error box with this text and the caption "Error". The observer returns once the user has
// dismissed it: the worker waits for that.
struct FailureEvent {
  TextRef text;
  bool operator==(const FailureEvent&) const = default;
};

// Both port lists, "Execute" and "Rescan Device" enabled again; the update is no longer busy.
struct ControlsRestoredEvent {
  bool operator==(const ControlsRestoredEvent&) const = default;
};

// "Execute" alone enabled or disabled.
struct ExecuteEnabledEvent {
  bool enable = false;
  bool operator==(const ExecuteEnabledEvent&) const = default;
};

using UpdateEvent = std::variant<StepEvent, StatusEvent, ProgressRangeEvent, ProgressPositionEvent,
                                 FailureEvent, ControlsRestoredEvent, ExecuteEnabledEvent>;

// The engine's only window on the user. The dialogs carry the events onto their UI thread, the
// CLI writes a terminal, a pipe or JSON lines, tests record them.
class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;
  // On the update's worker thread, one at a time, in the order they happen.
  virtual void OnEvent(const UpdateEvent& event) = 0;
};

// One callable per event type, for std::visit over an UpdateEvent.
template <typename... Calls>
struct Overloaded : Calls... {
  using Calls::operator()...;
};

// What the step box shows for `event`: "j/n", or the verification's text.
TextRef StepText(const StepEvent& event);

enum class OutcomeKind {
  kCompleted,         // "Version update completed."
  kFailed,            // an error box said why: `failure`
  kEndedWithoutText,  // the controls came back without a text (a failed read of the boot version)
  kStopped,           // the owner stopped it (status 255); nothing more was shown or sent
};

// Whether the flash written in this run was read back and compared before the update was
// finished.
enum class Verification {
  kNotAsked,
  kVerified,
  kNotPossible,  // the device cannot read its flash back: the update was finished unverified
};

struct UpdateOutcome {
  OutcomeKind kind = OutcomeKind::kStopped;
  TextRef failure;  // kFailed only
  Verification verification = Verification::kNotAsked;
  int32_t blocksResent = 0;  // write requests sent again after a refusal or a time-out
  bool operator==(const UpdateOutcome&) const = default;
};

}  // namespace tarn
