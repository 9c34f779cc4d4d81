#include "midi/platform/output_device.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "midi/platform/header_flags.h"
#include "midi/platform/platform.h"
#include "midi/platform/send_time.h"

namespace tarn::platform {

namespace {

std::atomic<int64_t> g_sendTimeoutMs{kDefaultSendTimeout.count()};

}  // namespace

void SetSendTimeout(std::chrono::milliseconds timeout) {
  g_sendTimeoutMs = timeout.count();
}

std::chrono::milliseconds SendTimeout() {
  return std::chrono::milliseconds(g_sendTimeoutMs);
}

OutputDevice::OutputDevice(std::shared_ptr<Backend> backend,
                           std::unique_ptr<OutputConnection> connection)
    : m_sender(std::make_shared<Sender>()), m_sendsHere(connection->ReturnsAtOnce()) {
  m_sender->backend = std::move(backend);
  m_sender->connection = std::move(connection);
  if (!m_sendsHere) m_thread = std::thread(&OutputDevice::Run, m_sender);
}

OutputDevice::~OutputDevice() {
  Close();
}

MMRESULT OutputDevice::Prepare(MIDIHDR* header) {
  if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  SetFlags(header, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT OutputDevice::Unprepare(MIDIHDR* header) {
  if (LoadFlags(header) & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  ClearFlags(header, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT OutputDevice::LongMsg(MIDIHDR* header) {
  if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  const DWORD flags = LoadFlags(header);
  if (!(flags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  if (m_sendsHere) return SendHere(header);

  // The copy lets a send that outlives its caller never read the caller's bytes.
  std::shared_ptr<Job> job;
  try {
    job = std::make_shared<Job>();
    const auto* bytes = reinterpret_cast<const uint8_t*>(header->lpData);
    job->bytes.assign(bytes, bytes + header->dwBufferLength);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }

  Sender& sender = *m_sender;
  std::unique_lock lock(sender.mutex);
  if (sender.closed) return MMSYSERR_INVALHANDLE;
  if (sender.stuck) return MIDIERR_NOTREADY;
  ClearFlags(header, MHDR_DONE);
  SetFlags(header, MHDR_INQUEUE);
  ++sender.waiting;
  sender.jobs.push_back(job);
  sender.changed.notify_all();
  const auto deadline =
      std::chrono::steady_clock::now() + SendTimeout() + WireTime(job->bytes.size());
  const bool finished = sender.changed.wait_until(lock, deadline, [&] { return job->finished; });
  --sender.waiting;
  ClearFlags(header, MHDR_INQUEUE);
  if (!finished) {
    // Whatever the backend is stuck in, later messages would only queue behind it.
    sender.stuck = true;
    std::erase(sender.jobs, job);
    return MIDIERR_NOTREADY;
  }
  if (!job->sent) return job->gone ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
  SetFlags(header, MHDR_DONE);
  return MMSYSERR_NOERROR;
}

MMRESULT OutputDevice::SendHere(MIDIHDR* header) {
  Sender& sender = *m_sender;
  {
    std::lock_guard lock(sender.mutex);
    if (sender.closed) return MMSYSERR_INVALHANDLE;
    ClearFlags(header, MHDR_DONE);
    SetFlags(header, MHDR_INQUEUE);
    ++sender.waiting;
  }
  bool sent = false;
  bool gone = false;
  {
    std::lock_guard sending(sender.sendMutex);
    const auto* bytes = reinterpret_cast<const uint8_t*>(header->lpData);
    sent = sender.connection->Send({bytes, header->dwBufferLength});
    gone = !sent && sender.connection->Gone();
  }
  std::lock_guard lock(sender.mutex);
  --sender.waiting;
  ClearFlags(header, MHDR_INQUEUE);
  if (!sent) return gone ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
  SetFlags(header, MHDR_DONE);
  return MMSYSERR_NOERROR;
}

MMRESULT OutputDevice::Close() {
  bool stuck = false;
  {
    std::lock_guard lock(m_sender->mutex);
    if (m_sender->closed) return MMSYSERR_INVALHANDLE;
    if (m_sender->waiting > 0) return MIDIERR_STILLPLAYING;
    m_sender->closed = true;
    stuck = m_sender->stuck;
    m_sender->changed.notify_all();
  }
  // A sender stuck in the backend ends (and closes its connection) whenever Send returns.
  if (m_sendsHere) {
    m_sender->connection.reset();
  } else if (stuck) {
    m_thread.detach();
  } else {
    m_thread.join();
  }
  return MMSYSERR_NOERROR;
}

void OutputDevice::Run(std::shared_ptr<Sender> sender) {
  std::unique_lock lock(sender->mutex);
  for (;;) {
    sender->changed.wait(lock, [&] { return sender->closed || !sender->jobs.empty(); });
    if (sender->jobs.empty()) break;
    std::shared_ptr<Job> job = sender->jobs.front();
    sender->jobs.pop_front();
    lock.unlock();
    const bool sent = sender->connection->Send(job->bytes);
    const bool gone = !sent && sender->connection->Gone();
    lock.lock();
    job->finished = true;
    job->sent = sent;
    job->gone = gone;
    sender->stuck = false;
    sender->changed.notify_all();
  }
  lock.unlock();
  sender->connection.reset();
}

}  // namespace tarn::platform
