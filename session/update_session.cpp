#include "session/update_session.h"

#include <system_error>

#include "midi/platform/platform.h"

#include "engine/dispatcher.h"
#include "engine/update_sequence.h"
#include "session/keep_awake.h"

namespace tarn {
namespace {

// What the lock of a port's device is named after. A device of this process alone cannot be
// reached by another one, so its name carries the process.
std::string LockName(const platform::PortIdentity& port) {
  return port.inProcess ? port.device + "@" + std::to_string(CurrentProcessId()) : port.device;
}

std::vector<std::string> NamesOf(const std::vector<platform::PortIdentity>& ports) {
  std::vector<std::string> names;
  for (const platform::PortIdentity& port : ports)
    names.push_back(port.name);
  return names;
}

// The port at `index` in the last list, which the index was chosen from; none for -1 (nothing
// selected) or an index past the list.
std::optional<platform::PortIdentity> Listed(
    int32_t index, std::optional<platform::PortIdentity> (&port)(size_t)) {
  if (index < 0) return std::nullopt;
  return port(static_cast<size_t>(index));
}

}  // namespace

UpdateSession::UpdateSession(const ImageSet& images, UpdateObserver& observer, Timing timing)
    : m_context(
          images, observer,
          [this](const uint8_t* bytes, int32_t length) { return Send(bytes, length); }, timing) {
  // An answer is dispatched as soon as it is queued, still on the timer's thread, so the
  // dispatcher never runs on two threads at once.
  m_in.SetArrival([this] {
    if (m_dispatchOnArrival) m_timer.Wake();
  });
  m_in.SetGone([this] { m_context.DeviceGone(); });
}

UpdateSession::~UpdateSession() {
  RequestStop();
  WaitForWorker();
  m_timer.Stop();
}

// Counted once, by the platform's own list: its names, as UTF-8, are the ones each index opens
// until the next list.
std::vector<std::string> UpdateSession::InputNames() {
  return NamesOf(platform::InputPorts());
}

std::vector<std::string> UpdateSession::OutputNames() {
  return NamesOf(platform::OutputPorts());
}

void UpdateSession::StartDispatcher() {
  RestTickUnlessUpdating();
  m_timer.Start(1, &UpdateSession::Tick, reinterpret_cast<DWORD_PTR>(this));
}

void UpdateSession::RestTickUnlessUpdating() {
  // Between updates nothing waits for an answer, so no tick is needed but for what arrives.
  m_timer.SetResting(m_dispatchOnArrival && !m_updating);
}

UpdateSession::OpenResult UpdateSession::OpenPorts(int32_t inputIndex, int32_t outputIndex) {
  m_stopping = false;
  const auto input = Listed(inputIndex, platform::InputPort);
  const auto output = Listed(outputIndex, platform::OutputPort);
  m_deviceName = output ? output->name : std::string();
  m_out.Close();
  m_in.Close();
  if (!LockDevices(input, output)) return OpenResult::kOutputFailed;
  // Both old ports are closed: nothing of the device that went with them can report any more.
  m_context.PortsReopened();
  if (m_out.Open(outputIndex) == 0) return OpenResult::kOutputFailed;
  m_in.DeviceIndex = inputIndex;
  if (m_in.Start() == 0) return OpenResult::kInputFailed;
  return OpenResult::kOpened;
}

bool UpdateSession::LockDevices(const std::optional<platform::PortIdentity>& input,
                                const std::optional<platform::PortIdentity>& output) {
  m_locks.clear();
  m_lockHolder.clear();
  m_lockProblem = {};
  std::vector<std::string> devices;
  // No port (nothing selected) names no device: the open that follows fails as it always did.
  if (output) devices.push_back(LockName(*output));
  if (input) devices.push_back(LockName(*input));
  if (devices.size() == 2 && devices[0] == devices[1]) devices.pop_back();
  for (const std::string& device : devices) {
    auto lock = DeviceLock::TryAcquire(device, &m_lockHolder, &m_lockProblem);
    if (!lock) {
      m_locks.clear();
      return false;
    }
    m_locks.push_back(std::move(lock));
  }
  return true;
}

bool UpdateSession::StartUpdate(EndedFunction ended) {
  // A worker that has already reported its end may still be returning.
  WaitForWorker();
  m_context.ForgetAnswer();
  // The tick runs every 1 ms from before the first request until the sequence has ended.
  m_updating = true;
  RestTickUnlessUpdating();
  try {
    m_worker = std::thread([this, ended = std::move(ended)] {
      std::string problem;
      auto awake = KeepMachineAwake(m_deviceName, &problem);
      if (!awake && m_notice) m_notice(NotKeptAwakeNotice(problem));
      const UpdateOutcome outcome = UpdateThreadProc(m_context);
      m_updating = false;
      RestTickUnlessUpdating();
      awake.reset();
      if (ended) ended(outcome);
    });
  } catch (const std::system_error&) {
    m_updating = false;
    RestTickUnlessUpdating();
    return false;
  }
  return true;
}

void UpdateSession::RequestStop() {
  // Nothing more goes out from here on, not even a request the worker is about to send.
  m_stopping = true;
  m_context.Abort();
  // The output port waits for a send in flight before it closes.
  m_out.Close();
  m_in.Close();
  m_locks.clear();
}

void UpdateSession::SetTrace(TraceFunction trace) {
  m_trace = std::move(trace);
  if (!m_trace) {
    m_context.SetDroppedFunction({});
    return;
  }
  m_context.SetDroppedFunction(
      [this](std::span<const uint8_t> message) { m_trace(TraceDirection::kDropped, message); });
}

void UpdateSession::WaitForWorker() {
  if (m_worker.joinable()) m_worker.join();
}

SendResult UpdateSession::Send(const uint8_t* bytes, int32_t length) {
  if (m_stopping) return SendResult::kFailed;
  MIDIHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(bytes));
  header.dwBufferLength = static_cast<DWORD>(length);
  header.dwFlags = 0;
  // Traced as it is handed over: the device may answer before the send reports completion.
  if (m_trace) m_trace(TraceDirection::kToDevice, {bytes, static_cast<size_t>(length)});
  if (m_out.SendLong(&header) == 1) return SendResult::kSent;
  return m_out.DeviceGone() ? SendResult::kPortGone : SendResult::kFailed;
}

void CALLBACK UpdateSession::Tick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* session = reinterpret_cast<UpdateSession*>(user);
  ProcessIncoming(session->m_context, session->m_queue);
}

// Received messages are traced when first seen, before the dispatcher acts on them, so the
// trace keeps the order in which things happened.
std::span<const uint8_t> UpdateSession::InputQueue::PeekSysEx() {
  const auto message = m_session.m_in.PeekSysEx();
  if (!message.empty() && !m_headTraced && m_session.m_trace) {
    m_session.m_trace(TraceDirection::kFromDevice, message);
    m_headTraced = true;
  }
  return message;
}

void UpdateSession::InputQueue::PopSysEx() {
  m_session.m_in.PopSysEx();
  m_headTraced = false;
}

}  // namespace tarn
