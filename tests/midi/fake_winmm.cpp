#include "tests/midi/fake_winmm.h"

#include "midi/platform/timer_wake.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarn::test {

using InputCallback = void CALLBACK(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

const HMIDIIN kInputHandle = reinterpret_cast<HMIDIIN>(uintptr_t{0x1100});
const HMIDIOUT kOutputHandle = reinterpret_cast<HMIDIOUT>(uintptr_t{0x2200});

static DWORD Flags(MIDIHDR* header) {
  return std::atomic_ref<DWORD>(header->dwFlags).load(std::memory_order_acquire);
}

static void SetFlags(MIDIHDR* header, DWORD set, DWORD clear = 0) {
  std::atomic_ref<DWORD> flags(header->dwFlags);
  flags.store((flags.load() & ~clear) | set, std::memory_order_release);
}

FakeWinmm& FakeWinmm::Get() {
  static FakeWinmm fake;
  return fake;
}

void FakeWinmm::Clear() {
  for (auto& completer : completers)
    completer.join();
  std::lock_guard lock(mutex);
  completers.clear();
  completion = Completion::kImmediate;
  completeAfterSleeps = completeAfterMs = sleeps = resolutionRequests = 0;
  sent.clear();
  caps = {1, 1000000};
  inputNames.clear();
  outputNames.clear();
  calls.clear();
  script.clear();
  during.clear();
  inputIsOpen = outputIsOpen = false;
  inputCallback = inputInstance = 0;
  inputOpenFlags = outputOpenFlags = 0;
  queued.clear();
  pending = nullptr;
  events.clear();
}

std::vector<std::string> FakeWinmm::Calls() {
  std::lock_guard lock(mutex);
  return calls;
}

void FakeWinmm::ClearCalls() {
  std::lock_guard lock(mutex);
  calls.clear();
}

void FakeWinmm::Script(const std::string& name, std::vector<MMRESULT> results) {
  std::lock_guard lock(mutex);
  script[name] = std::move(results);
}

void FakeWinmm::During(const std::string& name, std::function<void()> action) {
  std::lock_guard lock(mutex);
  during[name] = std::move(action);
}

MMRESULT FakeWinmm::Enter(const std::string& name, const std::string& arguments) {
  std::lock_guard lock(mutex);
  calls.push_back(arguments.empty() ? name : name + " " + arguments);
  auto& results = script[name];
  if (results.empty()) return MMSYSERR_NOERROR;
  const MMRESULT result = results.front();
  results.erase(results.begin());
  return result;
}

void FakeWinmm::After(const std::string& name) {
  std::function<void()> action;
  {
    std::lock_guard lock(mutex);
    const auto found = during.find(name);
    if (found == during.end()) return;
    action = std::move(found->second);
    during.erase(found);
  }
  action();
}

bool FakeWinmm::ReturnInput(UINT notice, std::span<const uint8_t> bytes, bool done) {
  MIDIHDR* header = nullptr;
  DWORD_PTR callback = 0;
  DWORD_PTR instance = 0;
  {
    std::lock_guard lock(mutex);
    if (queued.empty()) return false;
    header = queued.front();
    queued.erase(queued.begin());
    const DWORD count = std::min<DWORD>(static_cast<DWORD>(bytes.size()), header->dwBufferLength);
    if (count > 0) std::memcpy(header->lpData, bytes.data(), count);
    header->dwBytesRecorded = count;
    SetFlags(header, done ? MHDR_DONE : 0, MHDR_INQUEUE);
    callback = inputCallback;
    instance = inputInstance;
  }
  reinterpret_cast<tarn::test::InputCallback*>(callback)(kInputHandle, notice, instance,
                                                         reinterpret_cast<DWORD_PTR>(header), 0);
  return true;
}

bool FakeWinmm::DeliverLong(std::span<const uint8_t> message) {
  while (!message.empty()) {
    DWORD length = 0;
    {
      std::lock_guard lock(mutex);
      if (queued.empty()) return false;
      length = queued.front()->dwBufferLength;
    }
    const auto piece = message.first(std::min<size_t>(length, message.size()));
    ReturnInput(MIM_LONGDATA, piece);
    message = message.subspan(piece.size());
  }
  return true;
}

void FakeWinmm::DeliverShort(DWORD message) {
  Notify(MIM_DATA, message);
}

void FakeWinmm::Notify(UINT notice, DWORD_PTR param1) {
  DWORD_PTR callback = 0;
  DWORD_PTR instance = 0;
  {
    std::lock_guard lock(mutex);
    callback = inputCallback;
    instance = inputInstance;
  }
  reinterpret_cast<tarn::test::InputCallback*>(callback)(kInputHandle, notice, instance, param1, 0);
}

size_t FakeWinmm::QueuedInputs() {
  std::lock_guard lock(mutex);
  return queued.size();
}

bool FakeWinmm::InputOpen() {
  std::lock_guard lock(mutex);
  return inputIsOpen;
}

void FakeWinmm::Tick(UINT id) {
  std::pair<LPTIMECALLBACK, DWORD_PTR> event;
  {
    std::lock_guard lock(mutex);
    event = events.at(id);
  }
  event.first(id, 0, event.second, 0, 0);
}

bool FakeWinmm::EventRuns(UINT id) {
  std::lock_guard lock(mutex);
  return events.contains(id);
}

}  // namespace tarn::test

using tarn::test::Completion;
using tarn::test::FakeWinmm;
using tarn::test::Flags;
using tarn::test::kInputHandle;
using tarn::test::kOutputHandle;
using tarn::test::SetFlags;

namespace {

FakeWinmm& Fake() {
  return FakeWinmm::Get();
}

void CopyName(const std::vector<std::string>& names, UINT_PTR index, CHAR (&field)[MAXPNAMELEN]) {
  // Exactly the 32 bytes WinMM would fill: a 32-character test name comes unterminated.
  std::memset(field, 0, MAXPNAMELEN);
  std::memcpy(field, names[index].data(), std::min<size_t>(names[index].size(), MAXPNAMELEN));
}

}  // namespace

UINT midiInGetNumDevs() {
  Fake().Enter("midiInGetNumDevs");
  std::lock_guard lock(Fake().mutex);
  return static_cast<UINT>(Fake().inputNames.size());
}

MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic) {
  MMRESULT result = Fake().Enter("midiInGetDevCapsA", std::to_string(uDeviceID));
  std::lock_guard lock(Fake().mutex);
  if (result == MMSYSERR_NOERROR && uDeviceID >= Fake().inputNames.size()) {
    result = MMSYSERR_BADDEVICEID;
  }
  if (result != MMSYSERR_NOERROR || cbmic != sizeof(MIDIINCAPSA)) return result;
  CopyName(Fake().inputNames, uDeviceID, pmic->szPname);
  return result;
}

MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen) {
  const MMRESULT result = Fake().Enter("midiInOpen", std::to_string(uDeviceID));
  {
    std::lock_guard lock(Fake().mutex);
    *phmi = nullptr;
    if (result != MMSYSERR_NOERROR) return result;
    *phmi = kInputHandle;
    Fake().inputIsOpen = true;
    Fake().inputCallback = dwCallback;
    Fake().inputInstance = dwInstance;
    Fake().inputOpenFlags = fdwOpen;
  }
  Fake().After("midiInOpen");
  return result;
}

MMRESULT midiInClose(HMIDIIN) {
  MMRESULT result = Fake().Enter("midiInClose");
  {
    std::lock_guard lock(Fake().mutex);
    if (result == MMSYSERR_NOERROR && !Fake().queued.empty()) result = MIDIERR_STILLPLAYING;
    if (result == MMSYSERR_NOERROR) Fake().inputIsOpen = false;
  }
  Fake().After("midiInClose");
  return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN, LPMIDIHDR pmh, UINT cbmh) {
  const MMRESULT result = Fake().Enter("midiInPrepareHeader");
  if (result != MMSYSERR_NOERROR || cbmh != sizeof(MIDIHDR)) return result;
  SetFlags(pmh, MHDR_PREPARED);
  return result;
}

MMRESULT midiInUnprepareHeader(HMIDIIN, LPMIDIHDR pmh, UINT) {
  MMRESULT result = Fake().Enter("midiInUnprepareHeader");
  if (result == MMSYSERR_NOERROR && (Flags(pmh) & MHDR_INQUEUE)) result = MIDIERR_STILLPLAYING;
  if (result == MMSYSERR_NOERROR) SetFlags(pmh, 0, MHDR_PREPARED);
  return result;
}

MMRESULT midiInAddBuffer(HMIDIIN, LPMIDIHDR pmh, UINT cbmh) {
  MMRESULT result = Fake().Enter("midiInAddBuffer");
  if (result == MMSYSERR_NOERROR && !(Flags(pmh) & MHDR_PREPARED)) result = MIDIERR_UNPREPARED;
  if (result != MMSYSERR_NOERROR || cbmh != sizeof(MIDIHDR)) return result;
  SetFlags(pmh, MHDR_INQUEUE, MHDR_DONE);
  pmh->dwBytesRecorded = 0;
  std::lock_guard lock(Fake().mutex);
  Fake().queued.push_back(pmh);
  return result;
}

MMRESULT midiInStart(HMIDIIN) {
  return Fake().Enter("midiInStart");
}

MMRESULT midiInStop(HMIDIIN) {
  const MMRESULT result = Fake().Enter("midiInStop");
  Fake().After("midiInStop");
  return result;
}

MMRESULT midiInReset(HMIDIIN) {
  const MMRESULT result = Fake().Enter("midiInReset");
  if (result != MMSYSERR_NOERROR) return result;
  // Every queued buffer comes back done and empty, through the callback.
  while (Fake().ReturnInput(MIM_LONGDATA, {})) {
  }
  return result;
}

UINT midiOutGetNumDevs() {
  Fake().Enter("midiOutGetNumDevs");
  std::lock_guard lock(Fake().mutex);
  return static_cast<UINT>(Fake().outputNames.size());
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc) {
  MMRESULT result = Fake().Enter("midiOutGetDevCapsA", std::to_string(uDeviceID));
  std::lock_guard lock(Fake().mutex);
  if (result == MMSYSERR_NOERROR && uDeviceID >= Fake().outputNames.size()) {
    result = MMSYSERR_BADDEVICEID;
  }
  if (result != MMSYSERR_NOERROR || cbmoc != sizeof(MIDIOUTCAPSA)) return result;
  CopyName(Fake().outputNames, uDeviceID, pmoc->szPname);
  return result;
}

MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR, DWORD_PTR, DWORD fdwOpen) {
  const MMRESULT result = Fake().Enter("midiOutOpen", std::to_string(uDeviceID));
  std::lock_guard lock(Fake().mutex);
  *phmo = result == MMSYSERR_NOERROR ? kOutputHandle : nullptr;
  Fake().outputIsOpen = result == MMSYSERR_NOERROR;
  Fake().outputOpenFlags = fdwOpen;
  return result;
}

MMRESULT midiOutClose(HMIDIOUT) {
  const MMRESULT result = Fake().Enter("midiOutClose");
  std::lock_guard lock(Fake().mutex);
  if (result == MMSYSERR_NOERROR) Fake().outputIsOpen = false;
  return result;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT, LPMIDIHDR pmh, UINT cbmh) {
  const MMRESULT result = Fake().Enter("midiOutPrepareHeader");
  if (result != MMSYSERR_NOERROR || cbmh != sizeof(MIDIHDR)) return result;
  SetFlags(pmh, MHDR_PREPARED);
  return result;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT, LPMIDIHDR pmh, UINT) {
  MMRESULT result = Fake().Enter("midiOutUnprepareHeader");
  if (result == MMSYSERR_NOERROR && (Flags(pmh) & MHDR_INQUEUE)) result = MIDIERR_STILLPLAYING;
  if (result == MMSYSERR_NOERROR) SetFlags(pmh, 0, MHDR_PREPARED);
  return result;
}

MMRESULT midiOutLongMsg(HMIDIOUT, LPMIDIHDR pmh, UINT cbmh) {
  const MMRESULT result = Fake().Enter("midiOutLongMsg");
  if (result != MMSYSERR_NOERROR || cbmh != sizeof(MIDIHDR)) return result;
  std::lock_guard lock(Fake().mutex);
  const auto* bytes = reinterpret_cast<const uint8_t*>(pmh->lpData);
  Fake().sent.emplace_back(bytes, bytes + pmh->dwBufferLength);
  switch (Fake().completion) {
    case Completion::kImmediate:
      SetFlags(pmh, MHDR_DONE);
      break;
    case Completion::kFromThread:
      SetFlags(pmh, MHDR_INQUEUE);
      Fake().completers.emplace_back([pmh, delay = Fake().completeAfterMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        SetFlags(pmh, MHDR_DONE, MHDR_INQUEUE);
      });
      break;
    case Completion::kAfterSleeps:
    case Completion::kNever:
      SetFlags(pmh, MHDR_INQUEUE);
      Fake().pending = pmh;
      break;
  }
  return result;
}

MMRESULT midiOutReset(HMIDIOUT) {
  const MMRESULT result = Fake().Enter("midiOutReset");
  std::lock_guard lock(Fake().mutex);
  if (result == MMSYSERR_NOERROR && Fake().pending) {
    SetFlags(Fake().pending, MHDR_DONE, MHDR_INQUEUE);
    Fake().pending = nullptr;
  }
  return result;
}

MMRESULT timeGetDevCaps(LPTIMECAPS ptc, UINT) {
  const MMRESULT result = Fake().Enter("timeGetDevCaps");
  std::lock_guard lock(Fake().mutex);
  if (result == MMSYSERR_NOERROR) *ptc = Fake().caps;
  return result;
}

MMRESULT timeBeginPeriod(UINT uPeriod) {
  const MMRESULT result = Fake().Enter("timeBeginPeriod", std::to_string(uPeriod));
  std::lock_guard lock(Fake().mutex);
  if (result == TIMERR_NOERROR) ++Fake().resolutionRequests;
  return result;
}

MMRESULT timeEndPeriod(UINT uPeriod) {
  const MMRESULT result = Fake().Enter("timeEndPeriod", std::to_string(uPeriod));
  std::lock_guard lock(Fake().mutex);
  if (result == TIMERR_NOERROR) --Fake().resolutionRequests;
  return result;
}

MMRESULT timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK fptc, DWORD_PTR dwUser,
                      UINT fuEvent) {
  const MMRESULT result =
      Fake().Enter("timeSetEvent", std::to_string(uDelay) + " " + std::to_string(uResolution) +
                                       " " + std::to_string(fuEvent));
  std::lock_guard lock(Fake().mutex);
  if (result != MMSYSERR_NOERROR) return 0;
  const UINT id = ++Fake().lastEvent;
  Fake().events[id] = {fptc, dwUser};
  return id;
}

bool tarn::platform::WakeTimerEvent(UINT timerId) {
  Fake().Enter("WakeTimerEvent", std::to_string(timerId));
  std::lock_guard lock(Fake().mutex);
  return Fake().events.contains(timerId);
}

bool tarn::platform::RestTimerEvent(UINT timerId, bool resting) {
  Fake().Enter("RestTimerEvent", std::to_string(timerId) + " " + std::to_string(resting));
  std::lock_guard lock(Fake().mutex);
  return Fake().events.contains(timerId);
}

MMRESULT timeKillEvent(UINT uTimerID) {
  const MMRESULT result = Fake().Enter("timeKillEvent", std::to_string(uTimerID));
  std::lock_guard lock(Fake().mutex);
  Fake().events.erase(uTimerID);
  return result;
}

void Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
  std::lock_guard lock(Fake().mutex);
  ++Fake().sleeps;
  if (Fake().completion == Completion::kAfterSleeps && Fake().pending &&
      Fake().sleeps >= Fake().completeAfterSleeps) {
    SetFlags(Fake().pending, MHDR_DONE, MHDR_INQUEUE);
    Fake().pending = nullptr;
  }
}
