// The shared state of one update engine: what the worker, the dispatcher (timer thread) and
// the owner (dialog or CLI) hand to each other. One context per device, owned by the front end.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <utility>

#include "engine/answer_ledger.h"
#include "engine/read_back_buffer.h"
#include "engine/response_event.h"
#include "engine/update_events.h"
#include "firmware/image_set.h"
#include "sysex/messages.h"

namespace tarn {

// Waits and pauses of the update. Tests may shorten them; the retry counts are not here on
// purpose: they are part of the protocol and never change.
struct Timing {
  std::chrono::milliseconds answerWait{30000};  // identity, begin and finish
  std::chrono::milliseconds eraseWait{60000};
  std::chrono::milliseconds readWait{60000};
  std::chrono::milliseconds blockWait{1000};
  std::chrono::milliseconds retryPause{100};
  std::chrono::milliseconds beginPause{500};
  // How long answers still owed for one request are waited for before a request for other
  // data goes out. Answers come in order on one MIDI stream, so one that is merely held up
  // arrives before the answers behind it; what is still owed then was lost. Five times the
  // block wait covers a stalled USB link or a busy MIDI server, and is paid in full only
  // for an answer that never comes.
  std::chrono::milliseconds settleWait{5000};
};

enum class SendResult {
  kSent,      // the whole message went out
  kFailed,    // it did not, but the port may recover (a full or stalled link)
  kPortGone,  // the device is gone (unplugged, server stopped): nothing will go out any more
};

// Hands one complete SysEx message to the output port.
using SendFunction = std::function<SendResult(const uint8_t* bytes, int32_t length)>;
// Told of a received answer that nothing waited for and that could confirm nothing the
// update wrote (an identity or read reply), which the dispatcher dropped.
using DroppedFunction = std::function<void(std::span<const uint8_t> message)>;

// Four identity bytes that one thread writes while another reads them.
class SharedIdentity {
 public:
  Identity Load() const;
  void Store(const Identity& identity);

 private:
  std::atomic<uint32_t> m_bytes{0};
};

// What the worker keeps of the update in progress, for its outcome. Only the worker touches it.
struct RunRecord {
  std::optional<TextRef> failure;  // the text of the error box that ended it
  int32_t blocksResent = 0;
  Verification verification = Verification::kNotAsked;
  int64_t unaskedBefore = 0;  // the ledger's count of unasked answers once the device answered
  // A running average of how long the device takes to answer, from the send to the answer.
  std::chrono::microseconds roundTrip{0};
};

inline constexpr int32_t kStatusSuccess = 0;
inline constexpr int32_t kStatusNotInUpdateMode = 11;
inline constexpr int32_t kStatusClosing = 255;

class UpdateContext {
 public:
  UpdateContext(const ImageSet& images, UpdateObserver& observer, SendFunction send,
                Timing timing = {});
  UpdateContext(const UpdateContext&) = delete;
  UpdateContext& operator=(const UpdateContext&) = delete;

  // The one send primitive: 0 when the message went out whole, -1 otherwise. The worker's
  // requests and the dispatcher's replies are serialised here, each from its own buffer, so
  // neither can overwrite a message the other is sending. A port found gone stays gone until
  // the ports are opened again, and a worker waiting for an answer is woken to see it.
  int32_t SendSysEx(const uint8_t* bytes, int32_t length);
  bool PortGone() const { return m_portGone.load(); }
  // The input port learnt that the device has gone: as for a send that found it gone, the
  // worker's wait ends at once. Any thread.
  void DeviceGone();
  // The owner has opened the ports afresh (a device plugged in again): the old one's loss is
  // no longer this update's. Only while no worker runs.
  void PortsReopened() { m_portGone = false; }

  // The owner is going away: status 255 and the event, so a waiting worker ends silently.
  // Sticky: a later answer that overwrites the status cannot undo it, and the context stays
  // closing for the rest of its life.
  void Abort();
  bool Closing() const { return m_closing.load(); }
  // Sleeps for `duration`, or less when the owner aborts meanwhile. False when closing.
  bool Pause(std::chrono::milliseconds duration);

  // Whether each area written in a run is read back and compared right after it is written
  // (the default). Set before the worker starts.
  void SetVerify(bool verify) { m_verify = verify; }
  bool Verify() const { return m_verify; }

  // Set before the dispatcher starts.
  void SetDroppedFunction(DroppedFunction dropped) { m_dropped = std::move(dropped); }
  void NoteDropped(std::span<const uint8_t> message) {
    if (m_dropped) m_dropped(message);
  }

  // Byte 3 of every maker message the host builds: the first byte of the identity copy.
  uint8_t ModelByte() const { return m_identityCopy.Load()[0]; }

  const ImageSet& Images() const { return m_images; }
  const Timing& Times() const { return m_timing; }
  // Hands `event` to the front end, on the worker thread.
  void Report(const UpdateEvent& event) { m_observer.OnEvent(event); }
  RunRecord& ThisRun() { return m_run; }
  // Pairs every answer with its own request.
  AnswerLedger& Answers() { return m_answers; }

  // Dispatcher: the answer owed to the worker's request came with `status`, which is always in
  // place before the wait ends. Abort ends the wait with kStatusClosing.
  void Complete(int32_t status);
  // Dispatcher: the answer came without a status of its own (a read reply without data): the
  // wait ends and the status stays as it was.
  void Release();
  // Dispatcher: a worker waiting when Complete or Release came is woken only now, once the
  // dispatcher has let go of the ledger that the worker takes first when it goes on.
  void WakeWorker();
  // Worker: a wake-up left from before (an answer to another request) is forgotten.
  void ForgetAnswer() { m_answered.Reset(); }
  // Worker: the status of the answer that came within `timeout`; nothing when none came. A
  // port found gone ends the wait too, with the status as it was.
  std::optional<int32_t> AwaitAnswer(std::chrono::milliseconds timeout);

  // The identity in the device's last IdentityReply, written by the dispatcher.
  Identity DeviceIdentity() const { return m_deviceIdentity.Load(); }
  void StoreDeviceIdentity(const Identity& identity) { m_deviceIdentity.Store(identity); }
  // What the worker last received, accepted or not: ModelByte is its first byte.
  void StoreIdentityCopy(const Identity& identity) { m_identityCopy.Store(identity); }
  // Bytes 6..9 of the host's IdentityReply: the device the worker accepted.
  Identity AcceptedIdentity() const { return m_acceptedIdentity.Load(); }
  void StoreAcceptedIdentity(const Identity& identity) { m_acceptedIdentity.Store(identity); }

  // The data of the read in flight.
  ReadBackBuffer& ReadBack() { return m_readBack; }

  // Where the worker assembles its requests; only the worker touches it.
  uint8_t* TransmitBuffer() { return m_transmit[m_current].data(); }
  // Where the worker assembles the next request while the device answers the one in the
  // transmit buffer, which stays as it is for a retry; the swap makes it the one to send.
  uint8_t* NextTransmitBuffer() { return m_transmit[1 - m_current].data(); }
  void SwapTransmitBuffers() { m_current = 1 - m_current; }

 private:
  const ImageSet& m_images;
  UpdateObserver& m_observer;
  SendFunction m_send;
  Timing m_timing;
  bool m_verify = true;
  DroppedFunction m_dropped;
  RunRecord m_run;
  AnswerLedger m_answers;
  std::atomic<bool> m_portGone{false};
  std::mutex m_sendMutex;
  std::atomic<bool> m_closing{false};
  std::mutex m_closeMutex;  // with m_closed: wakes a pause when the owner aborts
  std::condition_variable m_closed;
  AutoResetEvent m_answered;
  std::atomic<int32_t> m_status{0};
  SharedIdentity m_deviceIdentity;
  SharedIdentity m_identityCopy;
  SharedIdentity m_acceptedIdentity;
  ReadBackBuffer m_readBack;
  std::array<std::array<uint8_t, kMaxMessageLength>, 2> m_transmit{};
  size_t m_current = 0;
};

}  // namespace tarn
