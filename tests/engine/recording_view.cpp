#include "tests/engine/recording_view.h"

#include <utility>

namespace tarn::test {

void RecordingView::Record(ViewEvent event) {
  std::lock_guard lock(m_mutex);
  m_events.push_back(std::move(event));
}

std::vector<ViewEvent> RecordingView::Events() const {
  std::lock_guard lock(m_mutex);
  return m_events;
}

std::vector<ViewEvent> RecordingView::Of(ViewCall call) const {
  std::vector<ViewEvent> matching;
  for (auto& event : Events()) {
    if (event.call == call) matching.push_back(event);
  }
  return matching;
}

std::vector<std::string> RecordingView::Texts(ViewCall call) const {
  std::vector<std::string> texts;
  for (auto& event : Of(call))
    texts.push_back(event.text);
  return texts;
}

}  // namespace tarn::test
