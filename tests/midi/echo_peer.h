// A loopback peer that sends every message back from its own thread, as a device would.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "midi/platform/loopback_peer.h"

namespace tarn::test {

// What the tests name the echo peer's device; the loopback shows whatever name it is given.
inline constexpr char kEchoDeviceName[] = "Echo Device";

class EchoPeer : public platform::LoopbackPeer {
 public:
  EchoPeer() : m_thread([this] { Run(); }) {}
  ~EchoPeer() override {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
  }

  void Receive(std::span<const uint8_t> message) override {
    std::lock_guard lock(m_mutex);
    m_pending.emplace_back(message.begin(), message.end());
    m_changed.notify_all();
  }

  void SetOutput(platform::PeerOutput output) override {
    std::lock_guard lock(m_outputMutex);
    m_output = std::move(output);
  }

 private:
  void Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_changed.wait(lock, [&] { return m_stop || !m_pending.empty(); });
      if (m_stop) return;
      std::vector<uint8_t> message = std::move(m_pending.front());
      m_pending.pop_front();
      lock.unlock();
      {
        std::lock_guard outputLock(m_outputMutex);
        if (m_output) m_output(message);
      }
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<uint8_t>> m_pending;
  bool m_stop = false;
  std::mutex m_outputMutex;
  platform::PeerOutput m_output;
  std::thread m_thread;
};

}  // namespace tarn::test
