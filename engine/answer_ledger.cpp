#include "engine/answer_ledger.h"

namespace tarn {

bool CanAnswer(const RequestKey& key, AnswerType type, int32_t status) {
  const bool identity = key.kind == RequestKind::kIdentityRequest;
  switch (type) {
    case AnswerType::kIdentity:
      return identity;
    case AnswerType::kReadReply:
      return key.kind == RequestKind::kReadFlash;
    case AnswerType::kDone:
      return !identity && !key.readBack;
    case AnswerType::kStatus:
      return (!identity && !key.readBack) || status != 0;
  }
  return false;
}

bool AnswerLedger::Expect(const RequestKey& key, std::chrono::milliseconds settle,
                          const std::function<void()>& prepare) {
  std::unique_lock lock(m_mutex);
  if (!m_any || !(key == m_key)) {
    m_settling = true;
    m_changed.wait_for(lock, settle, [this] { return m_owed == 0 || m_aborted; });
    m_settling = false;
    if (m_aborted) return false;
    // Whatever has not come by now is taken as lost.
    m_owed = 0;
    m_key = key;
    m_any = true;
    if (prepare) prepare();
  }
  ++m_owed;
  return true;
}

void AnswerLedger::Forgo() {
  std::lock_guard lock(m_mutex);
  if (m_owed > 0) --m_owed;
}

Reception AnswerLedger::Receive(AnswerType type, int32_t status,
                                const std::function<void()>& deliver) {
  Reception reception = Reception::kSettled;
  {
    std::lock_guard lock(m_mutex);
    if (m_owed > 0 && CanAnswer(m_key, type, status)) {
      --m_owed;
      if (!m_settling) {
        deliver();
        return Reception::kDelivered;
      }
    } else if (type == AnswerType::kIdentity || type == AnswerType::kReadReply) {
      return Reception::kDropped;
    } else {
      ++m_unasked;
      reception = Reception::kUnasked;
    }
  }
  m_changed.notify_all();
  return reception;
}

void AnswerLedger::Abort() {
  {
    std::lock_guard lock(m_mutex);
    m_aborted = true;
  }
  m_changed.notify_all();
}

int32_t AnswerLedger::Owed() const {
  std::lock_guard lock(m_mutex);
  return m_owed;
}

int64_t AnswerLedger::Unasked() const {
  std::lock_guard lock(m_mutex);
  return m_unasked;
}

bool AnswerLedger::WaitUnasked(int64_t seen, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_unasked > seen || m_aborted; }) &&
         m_unasked > seen;
}

}  // namespace tarn
