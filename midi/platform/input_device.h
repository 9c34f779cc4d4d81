// The platform side of one open input device: the raw byte stream of a backend becomes SysEx
// buffers handed back through the callback, the way WinMM hands them back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "midi/platform/backend.h"
#include "midi/platform/winmm.h"

namespace tarn::platform {

// - A SysEx message fills the oldest queued buffer; a full buffer goes back at once
//   (MIM_LONGDATA) and the message continues in the next one. So does a buffer that holds part
//   of a message when the backend's bytes run out, as Windows' newer MIDI stack does: the port
//   joins the pieces, and nothing waits for bytes that may be slow to come.
// - Bytes that arrive while no buffer is queued are kept, up to kBacklogLimit, and go into
//   the next buffer added. Beyond the limit they are dropped and the message they belonged
//   to comes back as MIM_LONGERROR.
// - Where a SysEx message begins and ends is the SysEx framer's rule (sysex/sysex_framer.h):
//   real-time bytes inside it are ignored; another status byte ends it as MIM_LONGERROR.
//   Short messages come as MIM_DATA. Input before Start is dropped.
// - Callbacks run one at a time and never under the device's lock, so a callback may prepare
//   and add buffers: on the backend's thread inside Receive when no delivery is under way
//   (no hand-over between threads), otherwise on the device's own delivery thread.
class InputDevice {
 public:
  using Notify = std::function<void(UINT notice, DWORD_PTR param1, DWORD_PTR param2)>;
  static constexpr size_t kBacklogLimit = size_t{1} << 20;

  explicit InputDevice(Notify notify);
  InputDevice(const InputDevice&) = delete;
  InputDevice& operator=(const InputDevice&) = delete;
  ~InputDevice();

  // The backend connection whose handler calls Receive; kept open until Close.
  void Attach(std::shared_ptr<Backend> backend, std::unique_ptr<InputConnection> connection);
  // Bytes from the backend, on its thread.
  void Receive(std::span<const uint8_t> bytes);

  MMRESULT Prepare(MIDIHDR* header);
  MMRESULT Unprepare(MIDIHDR* header);
  MMRESULT AddBuffer(MIDIHDR* header);
  MMRESULT Start();
  // Ends input; an unfinished message is dropped, the queued buffers stay queued.
  MMRESULT Stop();
  // Stop, then every queued buffer comes back done and empty; returns once the callbacks for
  // them (and for anything returned before) have run.
  MMRESULT Reset();
  // Refused while a buffer is queued, or from inside the callback. Once it has succeeded no
  // callback runs or will run.
  MMRESULT Close();

 private:
  struct Event {
    UINT notice;
    DWORD_PTR param1;
    DWORD_PTR param2;
  };

  // Under the lock: there is something to parse.
  void Wake();
  void Run();
  // Parses and runs the callbacks until nothing more can be delivered; the caller's lock is
  // released around the callbacks.
  void Deliver(std::unique_lock<std::mutex>& lock);
  void Parse();
  bool Consume(std::span<const uint8_t> bytes);
  void ConsumeShort(uint8_t byte);
  size_t Store(std::span<const uint8_t> run);
  void ReturnFront(UINT notice);
  void Emit(UINT notice, DWORD_PTR param1);
  void DropInput();
  void Shutdown();
  bool InCallback() const { return m_delivering && m_deliverer == std::this_thread::get_id(); }

  Notify m_notify;
  std::shared_ptr<Backend> m_backend;
  std::unique_ptr<InputConnection> m_connection;

  std::mutex m_mutex;
  std::condition_variable m_changed;    // wakes the delivery thread
  std::condition_variable m_delivered;  // wakes Reset when callbacks have run
  bool m_wake = false;
  bool m_delivering = false;    // a thread is in Deliver
  std::thread::id m_deliverer;  // which one
  bool m_closed = false;
  bool m_shutdown = false;
  bool m_started = false;
  bool m_gone = false;  // the backend said the device has gone
  std::chrono::steady_clock::time_point m_startTime;

  std::vector<uint8_t> m_backlog;
  size_t m_backlogRead = 0;  // how much of m_backlog has been parsed
  bool m_overflow = false;   // bytes after the backlog were dropped
  std::deque<MIDIHDR*> m_buffers;

  bool m_inSysEx = false;
  bool m_skipToStatus = false;  // after lost bytes: data bytes without their status
  uint8_t m_status = 0;         // of the short message in progress (running status)
  uint8_t m_data[2] = {};
  int m_dataCount = 0;

  std::vector<Event> m_events;
  uint64_t m_produced = 0;
  uint64_t m_deliveredCount = 0;

  std::thread m_thread;
};

}  // namespace tarn::platform
