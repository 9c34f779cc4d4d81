#include "midi/midi_out_port.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "midi/platform/header_flags.h"

namespace tarn {

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

}  // namespace

CMidiOutPort::~CMidiOutPort() {
  Close();
}

int32_t CMidiOutPort::GetDeviceCount() {
  return static_cast<int32_t>(midiOutGetNumDevs());
}

int32_t CMidiOutPort::GetDeviceName(int32_t index, char* name) {
  return CopyDeviceName<MIDIOUTCAPSA>(midiOutGetDevCapsA, index, name);
}

int32_t CMidiOutPort::Open(int32_t index) {
  std::unique_lock lock(m_mutex);
  if (m_handle) {
    if (index == m_deviceIndex) return 1;
    midiOutClose(m_handle);
    m_handle = nullptr;
  }
  m_deviceIndex = index;
  m_gone = false;
  HMIDIOUT handle = nullptr;
  if (midiOutOpen(&handle, static_cast<UINT>(index), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    return 0;
  }
  m_handle = handle;
  return 1;
}

int32_t CMidiOutPort::Close() {
  std::unique_lock lock(m_mutex);
  if (!m_handle) return 0;
  midiOutClose(m_handle);
  m_handle = nullptr;
  return 1;
}

int32_t CMidiOutPort::DeviceIndex() const {
  std::shared_lock lock(m_mutex);
  return m_deviceIndex;
}

void CMidiOutPort::SetSendTimeout(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  m_sendTimeout = timeout;
}

int32_t CMidiOutPort::SendLong(MIDIHDR* header) {
  std::shared_lock lock(m_mutex);
  if (!m_handle) return 0;
  MMRESULT result = midiOutPrepareHeader(m_handle, header, kHeaderSize);
  if (result == MMSYSERR_NOERROR) {
    result = midiOutLongMsg(m_handle, header, kHeaderSize);
    if (result != MMSYSERR_NOERROR) midiOutUnprepareHeader(m_handle, header, kHeaderSize);
  }
  if (result != MMSYSERR_NOERROR) {
    // What the system reports for a device that was removed while open.
    if (result == MMSYSERR_NODRIVER || result == MIDIERR_NODEVICE) m_gone = true;
    return 0;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + m_sendTimeout + platform::WireTime(header->dwBufferLength);
  const bool done = WaitDone(header, deadline);
  // A device that stopped taking data (unplugged mid-send) must not hang the caller: the
  // reset takes the message back so that the header can be unprepared and reused.
  if (!done) midiOutReset(m_handle);
  midiOutUnprepareHeader(m_handle, header, kHeaderSize);
  return done ? 1 : 0;
}

bool CMidiOutPort::WaitDone(MIDIHDR* header, std::chrono::steady_clock::time_point deadline) const {
  // The platform may set the done flag on its own thread.
  while (!(platform::LoadFlags(header) & MHDR_DONE)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(1);
  }
  return true;
}

}  // namespace tarn
