// One MIDI input device, opened by index, whose returned SysEx buffers are joined into whole
// messages: a first-in, first-out queue that the dispatcher drains on every timer tick.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "midi/device_name.h"
#include "midi/platform/winmm.h"
#include "sysex/sysex_framer.h"

namespace tarn {

class CMidiInPort {
 public:
  static constexpr DWORD kBufferSize = 8192;
  // Longest message joined from returned buffers, F0 to F7; longer ones are dropped whole.
  static constexpr size_t kMaxMessageLength = SysExFramer::kDefaultLimit;
  // What GetDeviceName may write, terminator included.
  static constexpr int32_t kNameCapacity = kDeviceNameCapacity;

  CMidiInPort() = default;
  CMidiInPort(const CMidiInPort&) = delete;
  CMidiInPort& operator=(const CMidiInPort&) = delete;
  ~CMidiInPort();

  // Device list. The names are the platform's product names (at most 31 characters).
  // GetDeviceName: 1, or 0 and an empty name for an index the platform rejects. `name` must
  // hold kNameCapacity bytes.
  static int32_t GetDeviceCount();
  static int32_t GetDeviceName(int32_t index, char* name);

  // Opens device DeviceIndex and starts receiving: 1 on success or when already started (the
  // index is then not looked at), 0 on failure, after closing whatever it had opened.
  int32_t Start();
  // Stops receiving and closes the device; entries already queued stay. Nothing happens on a
  // port that is not started (unless an earlier close failed: that is retried). Always 0.
  int32_t Stop();
  // 0 when no open has ever succeeded on this port, otherwise Stop and 1.
  int32_t Close();

  // The oldest received message, F0 to F7, however the platform cut it into buffers, or an
  // empty span when none is queued. The bytes stay valid until the next PopSysEx.
  std::span<const uint8_t> PeekSysEx();
  // Removes the oldest message; nothing on an empty queue. Always 0.
  int32_t PopSysEx();
  // Messages never queued: broken by a status byte, longer than kMaxMessageLength, returned
  // as MIM_LONGERROR, or cut off by Stop.
  uint64_t DroppedSysEx();

  // Called on the platform's thread each time messages have been queued, so that the owner can
  // have them dispatched at once. Set before the first Start.
  void SetArrival(std::function<void()> arrival) { m_arrival = std::move(arrival); }
  // Called on the platform's thread when the open device has gone (MIM_CLOSE that this port's
  // own close did not cause), so that a wait for its answer can end at once. Set before Start.
  void SetGone(std::function<void()> gone) { m_gone = std::move(gone); }

  // The platform's input callback; `instance` is the port.
  static void CALLBACK InputCallback(HMIDIIN handle, UINT notice, DWORD_PTR instance,
                                     DWORD_PTR param1, DWORD_PTR param2);

  // The device Start opens, counted from 0 in the platform's order; -1 reaches the platform
  // unchanged. Written by the owner before Start.
  int32_t DeviceIndex = 0;

 private:
  void OnReturned(HMIDIIN handle, MIDIHDR* header, bool broken);
  void OnClosed();
  void FreeHeader();
  // Stops, resets and closes the open device and frees the header once the platform has
  // given it up. False when a step failed: then the header stays allocated for the platform
  // and the device is retried before the next Start and on destruction.
  bool ReleaseDevice();

  HMIDIIN m_handle = nullptr;  // set by the first successful open, kept after closing
  bool m_open = false;         // the device behind m_handle is still open
  MIDIHDR* m_header = nullptr;
  bool m_started = false;

  // Held while the callback copies a buffer and hands it back, so that Stop never frees the
  // header under it and no buffer goes back to a device that is being stopped.
  std::mutex m_handBackMutex;
  bool m_stopping = false;
  SysExFramer m_framer{kMaxMessageLength};  // under m_handBackMutex
  std::function<void()> m_arrival;
  std::function<void()> m_gone;

  std::mutex m_queueMutex;
  std::deque<std::vector<uint8_t>> m_queue;
};

}  // namespace tarn
