// Talking to a VirtualDevice from a test: requests built with the host's own builders, answers
// built with the device's, and the device's messages collected as they arrive.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "sim/virtual_device.h"
#include "sysex/device_messages.h"
#include "sysex/messages.h"
#include "tests/support/host_messages.h"

namespace tarn::sim::testing {

using Message = std::vector<uint8_t>;
using namespace std::chrono_literals;

inline constexpr uint8_t kModel = test::kRequestModel;

using namespace ::tarn::test;

inline Message Status(uint8_t status, uint8_t model = kModel) {
  return DeviceStatusMessage(model, status);
}

// Everything the device sends, with the moment it arrived.
class Collector {
 public:
  using Clock = std::chrono::steady_clock;

  void Add(std::span<const uint8_t> message) {
    {
      std::lock_guard lock(m_mutex);
      m_messages.emplace_back(message.begin(), message.end());
      m_times.push_back(Clock::now());
    }
    m_arrived.notify_all();
  }
  bool WaitFor(size_t count, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, timeout, [&] { return m_messages.size() >= count; });
  }
  size_t Size() {
    std::lock_guard lock(m_mutex);
    return m_messages.size();
  }
  Message At(size_t index) {
    std::lock_guard lock(m_mutex);
    return m_messages.at(index);
  }
  Clock::time_point TimeOf(size_t index) {
    std::lock_guard lock(m_mutex);
    return m_times.at(index);
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::vector<Message> m_messages;
  std::vector<Clock::time_point> m_times;
};

// A device wired to a collector; Exchange sends one request and returns its answer.
class DeviceRig {
 public:
  explicit DeviceRig(const DeviceConfig& config = {}) : device(config) {
    device.SetOutput([this](std::span<const uint8_t> m) { received.Add(m); });
  }
  ~DeviceRig() { device.SetOutput({}); }

  std::optional<Message> Exchange(const Message& request, std::chrono::milliseconds timeout = 5s) {
    const size_t before = received.Size();
    device.Receive(request);
    if (!received.WaitFor(before + 1, timeout)) return std::nullopt;
    return received.At(before);
  }
  // Sends a request that gets no answer, and waits until the device has taken it.
  void Deliver(const Message& message) {
    device.Receive(message);
    device.WaitIdle(5s);
  }

  Collector received;
  VirtualDevice device;  // after the collector: its thread stops before the collector goes
};

}  // namespace tarn::sim::testing
