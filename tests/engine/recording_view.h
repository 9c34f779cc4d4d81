// An UpdateView that remembers every call in order. Error boxes are "dismissed" at once.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/update_view.h"

namespace tarn::test {

enum class ViewCall { kStatus, kStep, kRange, kPosition, kError, kRestore, kEnableExecute };

struct ViewEvent {
  ViewCall call;
  std::string text;    // status, step and error texts
  int32_t first = 0;   // range low, position, enable flag
  int32_t second = 0;  // range high
};

class RecordingView : public UpdateView {
 public:
  void SetStatusText(const std::string& text) override { Record({ViewCall::kStatus, text}); }
  void SetStepText(const std::string& text) override { Record({ViewCall::kStep, text}); }
  void SetProgressRange(int32_t low, int32_t high) override {
    Record({ViewCall::kRange, {}, low, high});
  }
  void SetProgressPosition(int32_t position) override {
    Record({ViewCall::kPosition, {}, position});
  }
  void ShowError(const std::string& text) override { Record({ViewCall::kError, text}); }
  void RestoreControls() override { Record({ViewCall::kRestore, {}}); }
  void EnableExecute(bool enable) override { Record({ViewCall::kEnableExecute, {}, enable}); }

  std::vector<ViewEvent> Events() const;
  std::vector<ViewEvent> Of(ViewCall call) const;
  // The texts of every status, step or error call, in order.
  std::vector<std::string> Texts(ViewCall call) const;
  int32_t Count(ViewCall call) const { return static_cast<int32_t>(Of(call).size()); }

 private:
  void Record(ViewEvent event);

  mutable std::mutex m_mutex;
  std::vector<ViewEvent> m_events;
};

}  // namespace tarn::test
