#include "tests/support/recording_observer.h"

#include <variant>

namespace tarn::test {

void RecordingObserver::OnEvent(const UpdateEvent& event) {
  const ViewEvent shown =
      std::visit(Overloaded{
                     [](const StepEvent& step) {
                       return ViewEvent{ViewCall::kStep, FormatText(StepText(step))};
                     },
                     [](const StatusEvent& status) {
                       return ViewEvent{ViewCall::kStatus, FormatText(status.text)};
                     },
                     [](const ProgressRangeEvent& range) {
                       return ViewEvent{ViewCall::kRange, {}, range.low, range.high};
                     },
                     [](const ProgressPositionEvent& position) {
                       return ViewEvent{ViewCall::kPosition, {}, position.position};
                     },
                     [](const FailureEvent& failure) {
                       return ViewEvent{ViewCall::kError, FormatText(failure.text)};
                     },
                     [](const ControlsRestoredEvent&) {
                       return ViewEvent{ViewCall::kRestore, {}};
                     },
                     [](const ExecuteEnabledEvent& execute) {
                       return ViewEvent{ViewCall::kEnableExecute, {}, execute.enable};
                     },
                 },
                 event);
  {
    std::lock_guard lock(m_mutex);
    m_typed.push_back(event);
    m_events.push_back(shown);
  }
  m_recorded.notify_all();
}

std::vector<UpdateEvent> RecordingObserver::Typed() const {
  std::lock_guard lock(m_mutex);
  return m_typed;
}

std::vector<ViewEvent> RecordingObserver::Events() const {
  std::lock_guard lock(m_mutex);
  return m_events;
}

std::vector<ViewEvent> RecordingObserver::Of(ViewCall call) const {
  std::vector<ViewEvent> matching;
  for (auto& event : Events()) {
    if (event.call == call) matching.push_back(event);
  }
  return matching;
}

std::vector<std::string> RecordingObserver::Texts(ViewCall call) const {
  std::vector<std::string> texts;
  for (auto& event : Of(call))
    texts.push_back(event.text);
  return texts;
}

std::vector<std::string> RecordingObserver::StatusTexts() const {
  std::vector<std::string> texts;
  for (auto& text : Texts(ViewCall::kStatus)) {
    if (text.rfind("Data transmit", 0) != 0) texts.push_back(text);
  }
  return texts;
}

std::vector<std::string> RecordingObserver::Calls() const {
  std::vector<std::string> calls;
  for (auto& event : Events()) {
    if (event.call == ViewCall::kError) calls.push_back("error: " + event.text);
    if (event.call == ViewCall::kRestore) calls.push_back("RestoreControls");
    if (event.call == ViewCall::kEnableExecute) {
      calls.push_back(event.first ? "EnableExecute(true)" : "EnableExecute(false)");
    }
  }
  return calls;
}

bool RecordingObserver::WaitFor(ViewCall call, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_recorded.wait_for(lock, timeout, [&] {
    for (auto& event : m_events) {
      if (event.call == call) return true;
    }
    return false;
  });
}

}  // namespace tarn::test
