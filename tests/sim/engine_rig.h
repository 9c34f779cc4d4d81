// The engine against a VirtualDevice in one process: the context sends straight into the
// device, the device's messages queue up for the dispatcher, and a 1 ms ticker dispatches them.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatcher.h"
#include "engine/message_source.h"
#include "engine/update_context.h"
#include "engine/update_events.h"
#include "firmware/embedded_images.h"
#include "sim/virtual_device.h"
#include "tests/support/message_queue.h"
#include "tests/support/recording_observer.h"
#include "tests/support/test_timing.h"

namespace tarn::sim::testing {

// Waits short enough for failure paths to end quickly; a block still gets the full second so a
// slow (sanitised) build never times out by accident.
inline Timing QuickTiming() {
  using namespace std::chrono_literals;
  return test::TestTiming({.blockWait = 1000ms, .retryPause = 1ms, .settleWait = 500ms});
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
              return SendResult::kSent;
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

  test::RecordingObserver view;
  VirtualDevice device;
  UpdateContext context;

 private:
  test::MessageQueue m_source;
  std::jthread m_ticker;
};

}  // namespace tarn::sim::testing
