// An observer that remembers every event of the engine in order, with its text looked up as a
// front end would show it. Error boxes are "dismissed" at once. Shared by the tests of every
// layer that runs the engine.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/update_events.h"

namespace tarn::test {

// For runs where only the outcome matters.
class IgnoringObserver : public UpdateObserver {
 public:
  void OnEvent(const UpdateEvent&) override {}
};

enum class ViewCall { kStatus, kStep, kRange, kPosition, kError, kRestore, kEnableExecute };

struct ViewEvent {
  ViewCall call;
  std::string text;    // status, step and error texts
  int32_t first = 0;   // range low, position, enable flag
  int32_t second = 0;  // range high
};

class RecordingObserver : public UpdateObserver {
 public:
  void OnEvent(const UpdateEvent& event) override;

  // The events as they came, before any text was looked up.
  std::vector<UpdateEvent> Typed() const;
  std::vector<ViewEvent> Events() const;
  std::vector<ViewEvent> Of(ViewCall call) const;
  // The texts of every status, step or error call, in order.
  std::vector<std::string> Texts(ViewCall call) const;
  int32_t Count(ViewCall call) const { return static_cast<int32_t>(Of(call).size()); }
  // Status texts without the per-block transfer texts, which are many thousands.
  std::vector<std::string> StatusTexts() const;
  // Error boxes and control changes, in order: "error: <text>", "RestoreControls",
  // "EnableExecute(true)" or "EnableExecute(false)".
  std::vector<std::string> Calls() const;
  // Waits until an event of `call` has been recorded; false when `timeout` passed first.
  bool WaitFor(ViewCall call, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_recorded;
  std::vector<UpdateEvent> m_typed;
  std::vector<ViewEvent> m_events;
};

}  // namespace tarn::test
