// The engine against a VirtualDevice in one process: the context sends straight into the
// device, the device's messages queue up for the dispatcher, and a 1 ms ticker dispatches them.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatcher.h"
#include "engine/message_source.h"
#include "engine/update_context.h"
#include "engine/update_view.h"
#include "resources/firmware_images.h"
#include "sim/virtual_device.h"

namespace tarn::sim::testing {

class QueueSource final : public MessageSource {
 public:
  void Push(std::span<const uint8_t> message) {
    std::lock_guard lock(m_mutex);
    m_messages.emplace_back(message.begin(), message.end());
  }
  std::span<const uint8_t> PeekSysEx() override {
    std::lock_guard lock(m_mutex);
    // A deque keeps its elements in place while others are added behind them.
    return m_messages.empty() ? std::span<const uint8_t>() : m_messages.front();
  }
  void PopSysEx() override {
    std::lock_guard lock(m_mutex);
    if (!m_messages.empty()) m_messages.pop_front();
  }

 private:
  std::mutex m_mutex;
  std::deque<std::vector<uint8_t>> m_messages;
};

// Everything the engine shows, in order. Error boxes are dismissed at once.
class RecordingView final : public UpdateView {
 public:
  void SetStatusText(const std::string& text) override { Add(m_statusTexts, text); }
  void SetStepText(const std::string& text) override { Add(m_stepTexts, text); }
  void SetProgressRange(int32_t, int32_t) override {}
  void SetProgressPosition(int32_t) override {}
  void ShowError(const std::string& text) override { Add(m_calls, "error: " + text); }
  void RestoreControls() override { Add(m_calls, "RestoreControls"); }
  void EnableExecute(bool enable) override {
    Add(m_calls, enable ? "EnableExecute(true)" : "EnableExecute(false)");
  }

  // Status texts without the per-block transfer texts, which are many thousands.
  std::vector<std::string> StatusTexts() const {
    std::lock_guard lock(m_mutex);
    return m_statusTexts;
  }
  std::vector<std::string> StepTexts() const {
    std::lock_guard lock(m_mutex);
    return m_stepTexts;
  }
  // Error boxes and control changes, in order.
  std::vector<std::string> Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }

 private:
  void Add(std::vector<std::string>& list, const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (&list == &m_statusTexts && text.rfind("Data transmit", 0) == 0) return;
    list.push_back(text);
  }

  mutable std::mutex m_mutex;
  std::vector<std::string> m_statusTexts;
  std::vector<std::string> m_stepTexts;
  std::vector<std::string> m_calls;
};

// Waits short enough for failure paths to end quickly; a block still gets the full second so a
// slow (sanitised) build never times out by accident.
inline Timing QuickTiming() {
  using namespace std::chrono_literals;
  Timing timing;
  timing.answerWait = 3000ms;
  timing.eraseWait = 3000ms;
  timing.readWait = 3000ms;
  timing.blockWait = 1000ms;
  timing.retryPause = 1ms;
  timing.beginPause = 5ms;
  return timing;
}

class EngineRig {
 public:
  explicit EngineRig(const DeviceConfig& config = {}, Timing timing = QuickTiming(),
                     const ImageSet& images = EmbeddedImages())
      : device(config),
        context(
            images, view,
            [this](const uint8_t* bytes, int32_t length) {
              device.Receive({bytes, static_cast<size_t>(length)});
              return 0;
            },
            timing) {
    device.SetOutput([this](std::span<const uint8_t> message) { m_source.Push(message); });
    m_ticker = std::jthread([this](std::stop_token stop) {
      while (!stop.stop_requested()) {
        ProcessIncoming(context, m_source);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  ~EngineRig() {
    m_ticker.request_stop();
    m_ticker.join();
    device.SetOutput({});
  }

  RecordingView view;
  VirtualDevice device;
  UpdateContext context;

 private:
  QueueSource m_source;
  std::jthread m_ticker;
};

}  // namespace tarn::sim::testing
