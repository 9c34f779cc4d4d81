// The ports, the 1 ms dispatcher timer, the engine's context and the update worker, wired
// together: what the dialog and the command-line updater share.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/image_set.h"
#include "engine/message_source.h"
#include "engine/update_context.h"
#include "engine/update_events.h"
#include "midi/dx_timer.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

namespace tarn {

enum class TraceDirection { kToDevice, kFromDevice };
using TraceFunction = std::function<void(TraceDirection, std::span<const uint8_t>)>;

class UpdateSession {
 public:
  UpdateSession(const ImageSet& images, UpdateObserver& observer, Timing timing = {});
  ~UpdateSession();
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  // Product names of the devices, in the platform's order (index = position).
  std::vector<std::string> InputNames();
  std::vector<std::string> OutputNames();

  // Starts the 1 ms tick that dispatches received messages, update or not.
  void StartDispatcher();

  // Every message sent and received from now on is also handed to `trace` (from the worker
  // and timer threads). Set it before the dispatcher starts.
  void SetTrace(TraceFunction trace) { m_trace = std::move(trace); }

  enum class OpenResult { kOpened, kOutputFailed, kInputFailed };
  // Closes and reopens both ports on these indices (-1 = none selected, handed on unchanged).
  // A failed input leaves the output open.
  OpenResult OpenPorts(int32_t inputIndex, int32_t outputIndex);

  // How an update ended, on its worker thread, after its last event.
  using EndedFunction = std::function<void(const UpdateOutcome& outcome)>;
  // Starts the worker on a fresh event. False when no thread could be started.
  bool StartUpdate(EndedFunction ended = {});

  // Closes both ports and releases a waiting worker with status 255; does not wait.
  void RequestStop();
  // Waits until the worker has ended. The observer must not block the worker any more by then.
  void WaitForWorker();

  UpdateContext& Context() { return m_context; }

 private:
  class InputQueue : public MessageSource {
   public:
    explicit InputQueue(UpdateSession& session) : m_session(session) {}
    std::span<const uint8_t> PeekSysEx() override;
    void PopSysEx() override;

   private:
    UpdateSession& m_session;
    bool m_headTraced = false;  // only the timer thread touches the queue's head
  };

  SendResult Send(const uint8_t* bytes, int32_t length);
  static void CALLBACK Tick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

  std::atomic<bool> m_stopping{false};
  CMidiInPort m_in;
  CMidiOutPort m_out;
  InputQueue m_queue{*this};
  TraceFunction m_trace;
  UpdateContext m_context;
  CDxMTimer m_timer;  // after everything the tick touches, so it stops first
  std::thread m_worker;
};

}  // namespace tarn
