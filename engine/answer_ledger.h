// The answers the engine is owed. The device's answers carry no sequence number, so an answer
// is paired with a request only by counting: every request that awaits an answer is owed one,
// late or not. Before a request for other data goes out, the answers still owed for the last
// one are taken in and dropped, waiting at most a settle time; an answer that comes while none
// is owed, or that cannot answer the request owed, releases nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "sysex/request_kind.h"

namespace tarn {

// What a request asks for. Two requests with the same key ask for the same thing: a resend of a
// block may be confirmed by the answer to either copy.
struct RequestKey {
  RequestKind kind = RequestKind::kIdentityRequest;
  uint32_t address = 0;  // erase, write, read
  // A read of written flash, which only read-back data or a refusal can answer.
  bool readBack = false;
  bool operator==(const RequestKey&) const = default;
};

// The kinds of answer, as the dispatcher tells them apart.
enum class AnswerType {
  kStatus,     // DeviceStatus
  kDone,       // DeviceDone
  kIdentity,   // the device's IdentityReply
  kReadReply,  // ReadFlashReply, with data or without
};

// Whether an answer of `type` with `status` can be the answer to the request `key`. A status of
// 0 acknowledges a maker request, which the identity request is not, and carries no data for a
// read-back; a refusal may answer any.
bool CanAnswer(const RequestKey& key, AnswerType type, int32_t status);

// What became of one answer the dispatcher handed in.
enum class Reception {
  kDelivered,  // it answered the request owed, and `deliver` ran
  kSettled,    // it was owed by a request the worker has moved on from, and was taken in
  kUnasked,    // none was owed that it could be: it may have confirmed the wrong request
  kDropped,    // an identity or read reply nothing waited for: it can confirm no write
};

class AnswerLedger {
 public:
  // Worker, before sending a request for `key`. A request for other data than the last one
  // first waits up to `settle` for the answers still owed (each is dropped as it comes), then
  // forgets those that did not come and runs `prepare` with nothing owed, under the ledger's
  // lock. Then one more answer is owed for `key`. False when Abort ended the wait.
  bool Expect(const RequestKey& key, std::chrono::milliseconds settle,
              const std::function<void()>& prepare);
  // Worker: the request just expected did not go out, so nothing is owed for it.
  void Forgo();
  // Dispatcher: an answer of `type` came. When one is owed and it can answer the request owed,
  // it is counted and, unless the worker is settling, `deliver` runs under the ledger's lock
  // (so no other request can start meanwhile).
  Reception Receive(AnswerType type, int32_t status, const std::function<void()>& deliver);
  // The owner is going away: a settle ends at once, now and later.
  void Abort();

  int32_t Owed() const;
  // Status answers that came while none was owed that they could be: one the MIDI path
  // delivered twice, or one whose request had already been answered by another. Since an
  // answer may have confirmed the wrong request, they are counted, for the worker to judge the
  // run by. Identity and read replies are not: they can confirm no erase or write.
  int64_t Unasked() const;
  // Waits up to `timeout` for the count to pass `seen`; true when it did.
  bool WaitUnasked(int64_t seen, std::chrono::milliseconds timeout);

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  RequestKey m_key;    // of the last request expected
  bool m_any = false;  // whether any request was expected yet
  int32_t m_owed = 0;
  int64_t m_unasked = 0;
  bool m_settling = false;
  bool m_aborted = false;
};

}  // namespace tarn
