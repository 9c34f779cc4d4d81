// One MIDI output device, opened by index, that sends whole SysEx messages and returns once
// the platform reports them gone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <shared_mutex>

#include "midi/device_name.h"
#include "midi/platform/send_time.h"
#include "midi/platform/winmm.h"

namespace tarn {

class CMidiOutPort {
 public:
  static constexpr int32_t kNameCapacity = kDeviceNameCapacity;

  CMidiOutPort() = default;
  CMidiOutPort(const CMidiOutPort&) = delete;
  CMidiOutPort& operator=(const CMidiOutPort&) = delete;
  ~CMidiOutPort();

  // Device list, as for the input port. `name` must hold kNameCapacity bytes.
  static int32_t GetDeviceCount();
  static int32_t GetDeviceName(int32_t index, char* name);

  // 1 on success or when already open on `index`; another index closes first. 0 on failure.
  // The index is remembered even when the open fails; -1 reaches the platform unchanged.
  int32_t Open(int32_t index);
  // 1 when the port was open and is now closed, 0 when it was not open. Waits for a send in
  // progress on another thread to end first.
  int32_t Close();
  int32_t DeviceIndex() const;

  // Sends one whole message from a caller-owned header (lpData, dwBufferLength set, dwFlags
  // 0) and returns 1 once the platform has reported it gone and the header is unprepared.
  // 0 when the port is closed (the header is untouched), when the platform refuses it, or
  // when it has not gone within the send time-out plus its wire time (the send is then
  // reset and the header unprepared). Safe from several threads at once.
  int32_t SendLong(MIDIHDR* header);

  // True once a send on the device opened last found it gone for good (unplugged, its
  // server stopped): nothing can go out until another open succeeds.
  bool DeviceGone() const { return m_gone.load(); }

  // For tests and slow links; the default is platform::kDefaultSendTimeout.
  void SetSendTimeout(std::chrono::milliseconds timeout);

 private:
  bool WaitDone(MIDIHDR* header, std::chrono::steady_clock::time_point deadline) const;

  // Shared by sends, exclusive for Open and Close: the handle never closes under a send.
  mutable std::shared_mutex m_mutex;
  HMIDIOUT m_handle = nullptr;
  int32_t m_deviceIndex = 0;
  std::atomic<bool> m_gone{false};
  std::chrono::milliseconds m_sendTimeout = platform::kDefaultSendTimeout;
};

}  // namespace tarn
