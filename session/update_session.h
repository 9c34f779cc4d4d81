// The ports, the 1 ms dispatcher timer, the engine's context and the update worker, wired
// together: what the dialog and the command-line updater share.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/message_source.h"
#include "engine/update_context.h"
#include "engine/update_events.h"
#include "firmware/image_set.h"
#include "midi/dx_timer.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/platform/platform.h"
#include "session/device_lock.h"

namespace tarn {

// kDropped: a message already traced as received, which the dispatcher dropped as an answer
// nothing waited for.
enum class TraceDirection { kToDevice, kFromDevice, kDropped };
using TraceFunction = std::function<void(TraceDirection, std::span<const uint8_t>)>;

class UpdateSession {
 public:
  UpdateSession(const ImageSet& images, UpdateObserver& observer, Timing timing = {});
  ~UpdateSession();
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  // Product names of the devices (UTF-8), in the platform's order (index = position). Each call
  // counts anew; the indices OpenPorts takes refer to the last count.
  std::vector<std::string> InputNames();
  std::vector<std::string> OutputNames();

  // Starts the tick that dispatches received messages, update or not: every 1 ms while an
  // update runs, and between updates only when a message arrives, where the platform's timer
  // can rest (elsewhere every 1 ms).
  void StartDispatcher();
  // Whether a received message wakes the tick to be dispatched at once (the default) or waits
  // for the next one, which then comes every 1 ms, update or not; the benchmarks measure one
  // against the other. Set it before the dispatcher starts.
  void SetDispatchOnArrival(bool on) { m_dispatchOnArrival = on; }

  // Every message sent and received from now on is also handed to `trace` (from the worker
  // and timer threads). Set it before the dispatcher starts.
  void SetTrace(TraceFunction trace);

  enum class OpenResult { kOpened, kOutputFailed, kInputFailed };
  // Closes and reopens both ports on these indices (-1 = none selected, handed on unchanged).
  // A failed input leaves the output open. First the device of each port is locked against
  // every other updater; a device another one holds, or one whose lock cannot be kept, fails as
  // an output that cannot be opened, and LockHolder() or LockFailure() says why.
  OpenResult OpenPorts(int32_t inputIndex, int32_t outputIndex);
  // Which updater held the device that the last OpenPorts found taken; empty otherwise.
  const std::string& LockHolder() const { return m_lockHolder; }
  // Why the last OpenPorts could keep no lock at all (a lock file or folder in the way); kNone
  // otherwise.
  const LockProblem& LockFailure() const { return m_lockProblem; }

  // How an update ended, on its worker thread, after its last event.
  using EndedFunction = std::function<void(const UpdateOutcome& outcome)>;
  // Called on the worker with one line when the machine cannot be kept awake during the update;
  // the update goes on. Set it before the update starts.
  void SetNotice(std::function<void(const std::string&)> notice) { m_notice = std::move(notice); }

  // Starts the worker on a fresh event. False when no thread could be started. The machine is
  // kept awake from the worker's start until the update has ended, before `ended` is called.
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
  // Lets the tick rest between updates, when every arrival wakes it.
  void RestTickUnlessUpdating();
  static void CALLBACK Tick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

  // Locks the devices of both ports; false, with m_lockHolder or m_lockProblem set, when one
  // is held or cannot be locked.
  bool LockDevices(const std::optional<platform::PortIdentity>& input,
                   const std::optional<platform::PortIdentity>& output);

  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_dispatchOnArrival{true};
  std::atomic<bool> m_updating{false};  // from StartUpdate until its worker's sequence ends
  // Owner's thread only. Dropped as the ports close.
  std::vector<std::unique_ptr<DeviceLock>> m_locks;
  std::string m_lockHolder;
  LockProblem m_lockProblem;
  std::string m_deviceName;  // the output's, as the last OpenPorts found it
  std::function<void(const std::string&)> m_notice;
  CMidiInPort m_in;
  CMidiOutPort m_out;
  InputQueue m_queue{*this};
  TraceFunction m_trace;
  UpdateContext m_context;
  CDxMTimer m_timer;  // after everything the tick touches, so it stops first
  std::thread m_worker;
};

}  // namespace tarn
