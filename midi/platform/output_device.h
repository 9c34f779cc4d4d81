// The platform side of one open output device. midiOutLongMsg returns once the message has
// gone: the backend's Send runs on the device's sender thread over a copy of the bytes, and
// the caller waits for it, at most the send time-out plus the message's wire time. So a send
// that failed is reported by the call's result (WinMM has no per-header error), and a backend
// that hangs cannot hang the caller. A connection whose Send returns at once cannot hang: it
// is called on the caller's thread, which spares every message a hand-over between threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/platform/backend.h"
#include "midi/platform/winmm.h"

namespace tarn::platform {

class OutputDevice {
 public:
  OutputDevice(std::shared_ptr<Backend> backend, std::unique_ptr<OutputConnection> connection);
  OutputDevice(const OutputDevice&) = delete;
  OutputDevice& operator=(const OutputDevice&) = delete;
  ~OutputDevice();

  MMRESULT Prepare(MIDIHDR* header);
  MMRESULT Unprepare(MIDIHDR* header);
  // NOERROR with MHDR_DONE set once the whole message has gone; MMSYSERR_NODRIVER when the
  // device has gone for good; MMSYSERR_ERROR when the backend could not send it whole;
  // MIDIERR_NOTREADY when it did not finish in time (the device then refuses sends until that one
  // ends).
  MMRESULT LongMsg(MIDIHDR* header);
  // Nothing is ever left queued, see LongMsg.
  MMRESULT Reset() { return MMSYSERR_NOERROR; }
  // Refused while a LongMsg is waiting. A sender stuck in the backend is left to finish alone.
  MMRESULT Close();

 private:
  struct Job {
    std::vector<uint8_t> bytes;
    bool finished = false;
    bool sent = false;
    bool gone = false;  // not sent because the device has gone for good
  };
  // Shared with the sender thread, which may outlive the device when a Send hangs.
  struct Sender {
    std::shared_ptr<Backend> backend;
    std::unique_ptr<OutputConnection> connection;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> jobs;
    std::mutex sendMutex;  // one SendHere at a time, as the sender thread sends one at a time
    int waiting = 0;       // LongMsg calls in progress
    bool stuck = false;
    bool closed = false;
  };

  static void Run(std::shared_ptr<Sender> sender);
  // LongMsg for a connection whose sends return at once.
  MMRESULT SendHere(MIDIHDR* header);

  std::shared_ptr<Sender> m_sender;
  const bool m_sendsHere;  // on the caller's thread, with no sender thread
  std::thread m_thread;
};

// The time-out of SetSendTimeout.
std::chrono::milliseconds SendTimeout();

}  // namespace tarn::platform
