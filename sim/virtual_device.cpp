#include "sim/virtual_device.h"

#include <algorithm>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "sysex/device_status.h"
#include "sysex/host_requests.h"

namespace tarn::sim {
namespace {

constexpr std::chrono::microseconds kWakeMargin{150};

}  // namespace

VirtualDevice::VirtualDevice(const DeviceConfig& config)
    : m_start(Clock::now()),
      m_hostWireFree(m_start),
      m_deviceWireFree(m_start),
      m_latency(config.latency),
      m_linkRate(config.linkRate),
      m_answerGap(config.answerGap),
      m_core(config.device, config.updateMode) {
  for (const FaultRule& rule : config.faults)
    m_faults.push_back({rule});
  m_thread = std::thread([this] { Run(); });
}

VirtualDevice::~VirtualDevice() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void VirtualDevice::Receive(std::span<const uint8_t> message) {
  // The wire starts to carry the message as it is handed over, not once the device has a copy.
  const Clock::time_point handed = Clock::now();
  auto bytes = std::make_shared<const std::vector<uint8_t>>(message.begin(), message.end());
  {
    std::lock_guard lock(m_mutex);
    m_hostWireFree = std::max(handed, m_hostWireFree) + TransferTime(message.size());
    m_events.push({m_hostWireFree, m_nextOrder++, true, std::move(bytes)});
  }
  m_wake.notify_all();
}

void VirtualDevice::SetOutput(platform::PeerOutput output) {
  std::lock_guard lock(m_outputMutex);
  m_output = std::move(output);
}

void VirtualDevice::SetUpdateMode(bool on) {
  std::lock_guard lock(m_mutex);
  m_core.SetUpdateMode(on);
}

void VirtualDevice::SetLatency(std::chrono::microseconds latency) {
  std::lock_guard lock(m_mutex);
  m_latency = latency;
}

void VirtualDevice::PresetFlash(uint32_t address, std::span<const uint8_t> bytes) {
  std::lock_guard lock(m_mutex);
  m_core.PresetFlash(address, bytes);
}

void VirtualDevice::SetLinkRate(uint32_t bytesPerSecond) {
  std::lock_guard lock(m_mutex);
  m_linkRate = bytesPerSecond;
}

int32_t VirtualDevice::AddFault(const FaultRule& rule) {
  std::lock_guard lock(m_mutex);
  m_faults.push_back({rule});
  return static_cast<int32_t>(m_faults.size()) - 1;
}

void VirtualDevice::ClearFaults() {
  std::lock_guard lock(m_mutex);
  m_faults.clear();
}

int32_t VirtualDevice::FaultHits(int32_t index) const {
  std::lock_guard lock(m_mutex);
  return index >= 0 && static_cast<size_t>(index) < m_faults.size()
             ? m_faults[static_cast<size_t>(index)].hits
             : 0;
}

void VirtualDevice::SendUnsolicited(Unsolicited kind) {
  std::lock_guard lock(m_mutex);
  Transmit(UnsolicitedMessage(kind, m_core.ModelByte()), Clock::now());
}

void VirtualDevice::SendRaw(std::span<const uint8_t> message) {
  std::lock_guard lock(m_mutex);
  Transmit({message.begin(), message.end()}, Clock::now());
}

bool VirtualDevice::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this] { return m_events.empty() && !m_delivering; });
}

bool VirtualDevice::WaitDelivered(Clock::time_point by, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this, by] {
    return (m_events.empty() || m_events.top().at > by) && !m_delivering;
  });
}

std::vector<ReceivedMessage> VirtualDevice::Received() const {
  std::lock_guard lock(m_mutex);
  return m_log.Entries();
}

int32_t VirtualDevice::Count(RequestKind kind) const {
  std::lock_guard lock(m_mutex);
  return m_log.Count(kind);
}

int32_t VirtualDevice::CountAt(RequestKind kind, uint32_t address) const {
  std::lock_guard lock(m_mutex);
  return m_log.CountAt(kind, address);
}

int32_t VirtualDevice::MessagesSent() const {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

std::vector<uint8_t> VirtualDevice::FlashBytes(uint32_t address, uint32_t count) const {
  std::lock_guard lock(m_mutex);
  if (!m_core.Flash().Contains(address, count)) return {};
  const auto bytes = m_core.Flash().View(address, count);
  return {bytes.begin(), bytes.end()};
}

FlashCheck VirtualDevice::VerifyFlash(const ExpectedFlash& expected) const {
  std::lock_guard lock(m_mutex);
  return CheckFlash(m_core.Flash().All(), expected);
}

void VirtualDevice::Run() {
#if defined(__linux__)
  // The link's times are kept to the microsecond: by default Linux may end each timed wait up
  // to 50 us late, twice a round trip, which would put the device's own lateness on the host.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  std::unique_lock lock(m_mutex);
  while (!m_stopping) {
    if (m_events.empty()) {
      m_idle.notify_all();
      m_wake.wait(lock);
      continue;
    }
    const Clock::time_point due = m_events.top().at;
    const Clock::time_point now = Clock::now();
    if (now + kWakeMargin < due) {
      m_wake.wait_until(lock, due - kWakeMargin);
      continue;
    }
    if (now < due) {
      // A timed wait here ends some tens of microseconds late even with the least slack, once
      // a turn of the exchange; the last stretch is waited out awake.
      lock.unlock();
      while (Clock::now() < due)
        std::this_thread::yield();
      lock.lock();
      continue;
    }
    const Event event = m_events.top();
    m_events.pop();
    if (event.arrival) {
      Arrive(event);
      m_idle.notify_all();
      continue;
    }
    // The output runs without the device's lock: it may hand the host a message whose answer
    // comes straight back through Receive.
    m_delivering = true;
    ++m_sent;
    lock.unlock();
    {
      std::lock_guard output(m_outputMutex);
      if (m_output) m_output(*event.bytes);
    }
    lock.lock();
    m_delivering = false;
    m_idle.notify_all();
  }
}

void VirtualDevice::Arrive(const Event& event) {
  const RequestKind kind = ClassifyHostMessage(*event.bytes);
  ReceivedMessage request = Describe(event.at - m_start, kind, event.bytes);
  const Effects effects = IsAnswered(kind) ? ApplyFaults(request) : Effects{};
  m_log.Add(std::move(request));
  if (!IsAnswered(kind) || effects.ignore) return;
  std::vector<uint8_t> answer = effects.done ? m_core.Done()
                                : effects.status
                                    ? m_core.Status(*effects.status)
                                    : m_core.Handle(kind, *event.bytes, effects.handling);
  if (effects.drop || answer.empty()) return;
  if (effects.cutAt) CutMessage(answer, *effects.cutAt);
  const Clock::time_point ready = event.at + m_latency + effects.delay;
  if (effects.stale) {
    for (std::vector<uint8_t> left :
         {m_core.Status(device_status::kOk), m_core.Status(device_status::kOk), m_core.Done()}) {
      Transmit(std::move(left), ready);
    }
  }
  if (effects.duplicate && effects.copyLate != Clock::duration::zero()) {
    TransmitOutOfStream(answer, ready + effects.copyLate);
  } else if (effects.duplicate) {
    Transmit(answer, ready);
  }
  if (effects.late != Clock::duration::zero()) {
    TransmitOutOfStream(std::move(answer), ready + effects.late);
    return;
  }
  Transmit(std::move(answer), ready);
}

VirtualDevice::Effects VirtualDevice::ApplyFaults(const ReceivedMessage& request) {
  Effects effects;
  for (ActiveFault& fault : m_faults) {
    if (!fault.rule.Matches(request.kind, request.address, request.count)) continue;
    if (++fault.seen <= fault.rule.skip || fault.hits >= fault.rule.count) continue;
    ++fault.hits;
    switch (fault.rule.action) {
      case FaultAction::kDropAnswer:
        effects.drop = true;
        break;
      case FaultAction::kIgnore:
        effects.ignore = true;
        break;
      case FaultAction::kStatus:
        effects.status = fault.rule.status;
        break;
      case FaultAction::kDelay:
        effects.delay += fault.rule.delay;
        break;
      case FaultAction::kCorruptCrc:
        effects.handling.corruptCrc = true;
        break;
      case FaultAction::kDuplicate:
        effects.duplicate = true;
        effects.copyLate = std::max(effects.copyLate, Clock::duration(fault.rule.delay));
        break;
      case FaultAction::kLate:
        effects.late += fault.rule.delay;
        break;
      case FaultAction::kStoreWrong:
        effects.handling.storeWrong = true;
        break;
      case FaultAction::kLie:
        effects.status = device_status::kOk;
        break;
      case FaultAction::kRefuseRead:
        effects.status = device_status::kOutOfRange;
        break;
      case FaultAction::kDone:
        effects.done = true;
        break;
      case FaultAction::kCut:
        effects.cutAt = std::min(effects.cutAt.value_or(fault.rule.cutAt), fault.rule.cutAt);
        break;
      case FaultAction::kStale:
        effects.stale = true;
        break;
      case FaultAction::kShortRead:
        effects.handling.shortTo = std::min(
            effects.handling.shortTo.value_or(*fault.rule.readsOver), *fault.rule.readsOver);
        break;
    }
  }
  return effects;
}

void VirtualDevice::Transmit(std::vector<uint8_t> message, Clock::time_point ready) {
  // A device that sends one message per USB frame spaces even short answers.
  const Clock::duration transfer =
      std::max(TransferTime(message.size()), Clock::duration(m_answerGap));
  m_deviceWireFree = std::max(ready, m_deviceWireFree) + transfer;
  m_events.push({m_deviceWireFree, m_nextOrder++, false,
                 std::make_shared<const std::vector<uint8_t>>(std::move(message))});
  m_wake.notify_all();
}

void VirtualDevice::TransmitOutOfStream(std::vector<uint8_t> message, Clock::time_point ready) {
  const Clock::time_point at = ready + TransferTime(message.size());
  m_events.push(
      {at, m_nextOrder++, false, std::make_shared<const std::vector<uint8_t>>(std::move(message))});
  m_wake.notify_all();
}

VirtualDevice::Clock::duration VirtualDevice::TransferTime(size_t size) const {
  if (m_linkRate == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      static_cast<int64_t>(size) * 1'000'000'000 / static_cast<int64_t>(m_linkRate)));
}

}  // namespace tarn::sim
