#include "midi/midi_in_port.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "midi/platform/header_flags.h"

namespace tarn {

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

}  // namespace

CMidiInPort::~CMidiInPort() {
  Stop();
  // A device that would not close may still write into the buffer: leaving it allocated is
  // the only safe choice.
  if (m_open) m_header = nullptr;
}

int32_t CMidiInPort::GetDeviceCount() {
  return static_cast<int32_t>(midiInGetNumDevs());
}

int32_t CMidiInPort::GetDeviceName(int32_t index, char* name) {
  return CopyDeviceName<MIDIINCAPSA>(midiInGetDevCapsA, index, name);
}

int32_t CMidiInPort::Start() {
  if (m_started) return 1;
  if (m_open && !ReleaseDevice()) return 0;

  auto* header = new (std::nothrow) MIDIHDR{};
  char* buffer = header ? new (std::nothrow) char[kBufferSize]{} : nullptr;
  if (!buffer) {
    delete header;
    return 0;
  }
  header->lpData = buffer;
  header->dwBufferLength = kBufferSize;
  m_header = header;
  {
    std::lock_guard lock(m_handBackMutex);
    m_stopping = false;
  }

  HMIDIIN handle = nullptr;
  MMRESULT result = midiInOpen(&handle, static_cast<UINT>(DeviceIndex),
                               reinterpret_cast<DWORD_PTR>(&InputCallback),
                               reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
  if (result == MMSYSERR_NOERROR) {
    m_handle = handle;
    m_open = true;
    result = midiInReset(handle);
  }
  if (result == MMSYSERR_NOERROR) result = midiInPrepareHeader(handle, header, kHeaderSize);
  if (result == MMSYSERR_NOERROR) result = midiInAddBuffer(handle, header, kHeaderSize);
  if (result == MMSYSERR_NOERROR) result = midiInStart(handle);
  if (result == MMSYSERR_NOERROR) {
    m_started = true;
    return 1;
  }
  // A half-opened device would keep the index busy and the buffer queued until the next Start.
  ReleaseDevice();
  return 0;
}

int32_t CMidiInPort::Stop() {
  if (!m_started && !m_open) return 0;
  m_started = false;
  ReleaseDevice();
  return 0;
}

int32_t CMidiInPort::Close() {
  if (!m_handle) return 0;
  Stop();
  return 1;
}

bool CMidiInPort::ReleaseDevice() {
  {
    std::lock_guard lock(m_handBackMutex);
    m_stopping = true;
  }
  if (m_open) {
    MMRESULT result = midiInStop(m_handle);
    if (result == MMSYSERR_NOERROR) result = midiInReset(m_handle);
    if (result == MMSYSERR_NOERROR && m_header) {
      result = midiInUnprepareHeader(m_handle, m_header, kHeaderSize);
    }
    if (result == MMSYSERR_NOERROR) result = midiInClose(m_handle);
    if (result != MMSYSERR_NOERROR) return false;
    m_open = false;
  }
  // Waits for a callback that is still copying out of the buffer.
  std::lock_guard lock(m_handBackMutex);
  FreeHeader();
  // The rest of a message in progress will not come from this device.
  m_framer.Abandon();
  return true;
}

void CMidiInPort::FreeHeader() {
  if (!m_header) return;
  delete[] m_header->lpData;
  delete m_header;
  m_header = nullptr;
}

std::span<const uint8_t> CMidiInPort::PeekSysEx() {
  std::lock_guard lock(m_queueMutex);
  if (m_queue.empty()) return {};
  // Appending to a deque leaves its elements, and so these bytes, where they are.
  return m_queue.front();
}

int32_t CMidiInPort::PopSysEx() {
  std::lock_guard lock(m_queueMutex);
  if (!m_queue.empty()) m_queue.pop_front();
  return 0;
}

uint64_t CMidiInPort::DroppedSysEx() {
  std::lock_guard lock(m_handBackMutex);
  return m_framer.Dropped();
}

void CALLBACK CMidiInPort::InputCallback(HMIDIIN handle, UINT notice, DWORD_PTR instance,
                                         DWORD_PTR param1, DWORD_PTR /*param2*/) {
  auto* port = reinterpret_cast<CMidiInPort*>(instance);
  if (port && notice == MIM_CLOSE) {
    port->OnClosed();
    return;
  }
  auto* header = reinterpret_cast<MIDIHDR*>(param1);
  if (!port || !header) return;
  // A broken message is dropped, but its buffer goes back like any other: keeping it would
  // leave the port deaf to everything after one corrupted message.
  if (notice == MIM_LONGDATA || notice == MIM_LONGERROR) {
    port->OnReturned(handle, header, notice == MIM_LONGERROR);
  }
}

void CMidiInPort::OnClosed() {
  {
    // The port's own close sends it too: that is no news.
    std::lock_guard lock(m_handBackMutex);
    if (m_stopping) return;
  }
  if (m_gone) m_gone();
}

void CMidiInPort::OnReturned(HMIDIIN handle, MIDIHDR* header, bool broken) {
  std::lock_guard lock(m_handBackMutex);
  // The platform writes the flags on its own thread.
  if (!(platform::LoadFlags(header) & MHDR_DONE)) return;
  const DWORD recorded = std::min(header->dwBytesRecorded, header->dwBufferLength);
  // The empty buffers of a reset stay with the port.
  if (!broken && recorded == 0) return;
  bool arrived = false;
  if (broken) {
    if (recorded > 0 || m_framer.InMessage()) m_framer.Reject();
  } else {
    const auto* bytes = reinterpret_cast<const uint8_t*>(header->lpData);
    try {
      m_framer.Feed({bytes, recorded}, [&](std::vector<uint8_t> message) {
        std::lock_guard queueLock(m_queueMutex);
        m_queue.push_back(std::move(message));
        arrived = true;
      });
    } catch (const std::bad_alloc&) {
      // Out of memory: this message is lost, but the buffer still goes back below, so the
      // port keeps receiving once memory is available again.
      m_framer.Abandon();
    }
  }
  // Nothing goes back to, or is announced from, a device being stopped; Stop waits for this
  // lock, so the owner is never called once Stop has returned.
  if (m_stopping) return;
  midiInPrepareHeader(handle, header, kHeaderSize);
  midiInAddBuffer(handle, header, kHeaderSize);
  if (arrived && m_arrival) m_arrival();
}

}  // namespace tarn
