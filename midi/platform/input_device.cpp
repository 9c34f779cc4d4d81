#include "midi/platform/input_device.h"

#include <algorithm>
#include <cstring>

#include "midi/platform/header_flags.h"
#include "sysex/messages.h"
#include "sysex/sysex_framer.h"

namespace tarn::platform {

namespace {

using Kind = SysExPiece::Kind;

// Data bytes that follow a status byte (below 0xF0: channel messages).
int DataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    case 0xF0:
      return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
    default:
      return 2;
  }
}

}  // namespace

InputDevice::InputDevice(Notify notify)
    : m_notify(std::move(notify)), m_thread([this] { Run(); }) {}

InputDevice::~InputDevice() {
  Shutdown();
}

void InputDevice::Attach(std::shared_ptr<Backend> backend,
                         std::unique_ptr<InputConnection> connection) {
  m_backend = std::move(backend);
  m_connection = std::move(connection);
}

void InputDevice::Receive(std::span<const uint8_t> bytes) {
  std::unique_lock lock(m_mutex);
  if (!m_started) return;
  if (bytes.empty()) {
    // The device has gone: told once, as WinMM tells it.
    if (m_gone) return;
    m_gone = true;
    Emit(MIM_CLOSE, 0);
    if (!m_delivering) Deliver(lock);
    return;
  }
  if (!m_overflow) {
    // What has been parsed goes first: only bytes waiting for a buffer count against the limit.
    m_backlog.erase(m_backlog.begin(), m_backlog.begin() + static_cast<ptrdiff_t>(m_backlogRead));
    m_backlogRead = 0;
    const size_t kept = std::min(bytes.size(), kBacklogLimit - m_backlog.size());
    m_backlog.insert(m_backlog.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(kept));
    m_overflow = kept < bytes.size();
  }
  // Delivered here, on the backend's thread, unless a delivery is under way: that one parses
  // again once its callbacks have returned.
  if (!m_delivering) Deliver(lock);
}

MMRESULT InputDevice::Prepare(MIDIHDR* header) {
  if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(m_mutex);
  SetFlags(header, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::Unprepare(MIDIHDR* header) {
  std::lock_guard lock(m_mutex);
  if (LoadFlags(header) & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  ClearFlags(header, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::AddBuffer(MIDIHDR* header) {
  if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  std::lock_guard lock(m_mutex);
  if (m_closed) return MMSYSERR_INVALHANDLE;
  const DWORD flags = LoadFlags(header);
  if (!(flags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwBytesRecorded = 0;
  ClearFlags(header, MHDR_DONE);
  SetFlags(header, MHDR_INQUEUE);
  m_buffers.push_back(header);
  Wake();
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::Start() {
  std::lock_guard lock(m_mutex);
  if (!m_started) m_startTime = std::chrono::steady_clock::now();
  m_started = true;
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::Stop() {
  std::lock_guard lock(m_mutex);
  m_started = false;
  DropInput();
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::Reset() {
  std::unique_lock lock(m_mutex);
  m_started = false;
  DropInput();
  while (!m_buffers.empty()) {
    m_buffers.front()->dwBytesRecorded = 0;
    ReturnFront(MIM_LONGDATA);
  }
  // Inside the callback the returned buffers follow once it returns; elsewhere the caller may
  // unprepare and free them as soon as Reset returns, so their callbacks must have run.
  if (!InCallback()) {
    const uint64_t target = m_produced;
    Wake();
    m_delivered.wait(lock, [&] { return m_deliveredCount >= target; });
  }
  return MMSYSERR_NOERROR;
}

MMRESULT InputDevice::Close() {
  {
    std::lock_guard lock(m_mutex);
    if (m_closed) return MMSYSERR_INVALHANDLE;
    if (InCallback()) return MMSYSERR_ERROR;
    if (!m_buffers.empty()) return MIDIERR_STILLPLAYING;
    m_closed = true;
    m_started = false;
  }
  Shutdown();
  return MMSYSERR_NOERROR;
}

void InputDevice::Shutdown() {
  // Without its connection the backend calls Receive no more.
  m_connection.reset();
  {
    std::lock_guard lock(m_mutex);
    m_shutdown = true;
    m_changed.notify_one();
  }
  if (m_thread.joinable()) m_thread.join();
}

void InputDevice::DropInput() {
  m_backlog.clear();
  m_backlogRead = 0;
  m_overflow = false;
  if (m_inSysEx && !m_buffers.empty()) m_buffers.front()->dwBytesRecorded = 0;
  m_inSysEx = false;
  m_skipToStatus = false;
  m_status = 0;
  m_dataCount = 0;
}

void InputDevice::Wake() {
  m_wake = true;
  // A delivery under way parses again before it ends; waking the delivery thread then would
  // only cost a switch.
  if (!m_delivering) m_changed.notify_one();
}

void InputDevice::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [&] { return !m_delivering && (m_wake || m_shutdown); });
    Deliver(lock);
    if (m_shutdown) return;
  }
}

void InputDevice::Deliver(std::unique_lock<std::mutex>& lock) {
  m_delivering = true;
  m_deliverer = std::this_thread::get_id();
  for (;;) {
    m_wake = false;
    Parse();
    if (m_events.empty()) break;
    std::vector<Event> events;
    events.swap(m_events);
    lock.unlock();
    for (const Event& event : events)
      m_notify(event.notice, event.param1, event.param2);
    lock.lock();
    m_deliveredCount += events.size();
    m_delivered.notify_all();
  }
  m_delivering = false;
  m_deliverer = {};
  // A shutdown that came meanwhile waits for the delivery thread's last round.
  if (m_shutdown) m_changed.notify_one();
}

void InputDevice::Parse() {
  while (m_backlogRead < m_backlog.size()) {
    if (!Consume(std::span<const uint8_t>(m_backlog).subspan(m_backlogRead))) return;
  }
  m_backlog.clear();
  m_backlogRead = 0;
  if (m_overflow) {
    // The bytes after the backlog were lost: the message they belonged to cannot be whole.
    if (m_inSysEx) {
      if (m_buffers.empty()) return;
      ReturnFront(MIM_LONGERROR);
      m_inSysEx = false;
    }
    m_status = 0;
    m_dataCount = 0;
    m_skipToStatus = true;
    m_overflow = false;
  }
  // All there is of the message so far goes back now.
  if (m_inSysEx && !m_buffers.empty() && m_buffers.front()->dwBytesRecorded > 0) {
    ReturnFront(MIM_LONGDATA);
  }
}

// Parses the front of `bytes`, the unparsed rest of the backlog, and moves past what it took.
// False when that has to wait for a buffer.
bool InputDevice::Consume(std::span<const uint8_t> bytes) {
  const SysExPiece piece = NextSysExPiece(m_inSysEx, bytes);
  size_t taken = piece.length;
  switch (piece.kind) {
    case Kind::kOutside:
      for (const uint8_t byte : bytes.first(piece.length))
        ConsumeShort(byte);
      break;
    case Kind::kRealTime:
      break;
    case Kind::kStart:
      if (m_buffers.empty()) return false;
      m_inSysEx = true;
      m_skipToStatus = false;
      m_status = 0;
      Store(bytes.first(taken));
      break;
    case Kind::kBody:
      if (m_buffers.empty()) return false;
      // A buffer that fills goes back; the rest of the run waits for the next one.
      taken = Store(bytes.first(taken));
      break;
    case Kind::kEnd:
      if (m_buffers.empty()) return false;
      m_inSysEx = false;
      Store(bytes.first(taken));
      break;
    case Kind::kBreak:
      // The status byte itself is read again, outside the message.
      if (m_buffers.empty()) return false;
      ReturnFront(MIM_LONGERROR);
      m_inSysEx = false;
      break;
  }
  m_backlogRead += taken;
  return true;
}

void InputDevice::ConsumeShort(uint8_t byte) {
  if (byte >= kFirstRealTime) {
    Emit(MIM_DATA, byte);
    return;
  }
  if (byte >= 0x80) {
    m_skipToStatus = false;
    m_dataCount = 0;
    m_status = byte == kSysExEnd ? 0 : byte;
    if (m_status != 0 && DataBytes(m_status) == 0) {
      Emit(MIM_DATA, m_status);
      m_status = 0;
    }
    return;
  }
  if (m_skipToStatus || m_status == 0) return;
  m_data[m_dataCount++] = byte;
  if (m_dataCount == DataBytes(m_status)) {
    Emit(MIM_DATA, DWORD_PTR{m_status} | DWORD_PTR{m_data[0]} << 8 |
                       (m_dataCount == 2 ? DWORD_PTR{m_data[1]} << 16 : 0));
    m_dataCount = 0;
    // Running status holds for channel messages only.
    if (m_status >= 0xF0) m_status = 0;
  }
}

// Copies what fits of `run` into the front buffer, which goes back once it is full or holds
// the end of its message; how much it took.
size_t InputDevice::Store(std::span<const uint8_t> run) {
  MIDIHDR* header = m_buffers.front();
  const size_t taken =
      std::min<size_t>(run.size(), header->dwBufferLength - header->dwBytesRecorded);
  std::memcpy(header->lpData + header->dwBytesRecorded, run.data(), taken);
  header->dwBytesRecorded += static_cast<DWORD>(taken);
  if (!m_inSysEx || header->dwBytesRecorded == header->dwBufferLength) {
    ReturnFront(MIM_LONGDATA);
  }
  return taken;
}

void InputDevice::ReturnFront(UINT notice) {
  MIDIHDR* header = m_buffers.front();
  m_buffers.pop_front();
  ClearFlags(header, MHDR_INQUEUE);
  SetFlags(header, MHDR_DONE);
  Emit(notice, reinterpret_cast<DWORD_PTR>(header));
}

void InputDevice::Emit(UINT notice, DWORD_PTR param1) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - m_startTime);
  m_events.push_back({notice, param1, static_cast<DWORD_PTR>(elapsed.count())});
  ++m_produced;
}

}  // namespace tarn::platform
