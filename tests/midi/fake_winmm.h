// A scripted WinMM for the ports and the timer: records every call in order, fails any call
// on request, keeps input buffers the way WinMM keeps them, and lets a test return buffers,
// deliver messages, complete sends and fire ticks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "midi/platform/winmm.h"

namespace tarn::test {

enum class Completion {
  kImmediate,    // midiOutLongMsg sets the done flag before it returns
  kAfterSleeps,  // the done flag is set in the completeAfterSleeps-th Sleep
  kFromThread,   // another thread sets it completeAfterMs later
  kNever,        // only midiOutReset sets it
};

struct FakeWinmm {
  static FakeWinmm& Get();
  // A fresh platform for the next test (after the threads that complete sends have ended).
  void Clear();

  // "midiInOpen 4294967295", "midiInReset", "timeSetEvent 1 1 257", ...; Sleep is counted.
  std::vector<std::string> Calls();
  void ClearCalls();
  // The next calls of `name` return these results in turn, then the calls succeed again. For
  // timeSetEvent any result but MMSYSERR_NOERROR makes it return 0.
  void Script(const std::string& name, std::vector<MMRESULT> results);
  // Runs inside the next call of `name`, after it has taken effect.
  void During(const std::string& name, std::function<void()> action);

  // Input: returns the oldest queued buffer with `bytes` (at most its length) recorded.
  // False when no buffer is queued.
  bool ReturnInput(UINT notice, std::span<const uint8_t> bytes, bool done = true);
  // One SysEx message as WinMM delivers it: the queued buffers are filled in turn, each
  // returned full. False when the message ran out of queued buffers.
  bool DeliverLong(std::span<const uint8_t> message);
  void DeliverShort(DWORD message);
  // Any notice to the input's callback, without a buffer (MIM_CLOSE, MIM_DATA).
  void Notify(UINT notice, DWORD_PTR param1 = 0);
  size_t QueuedInputs();
  bool InputOpen();
  DWORD_PTR inputInstance = 0;
  DWORD inputOpenFlags = 0;

  // Output.
  Completion completion = Completion::kImmediate;
  int completeAfterSleeps = 0;
  int completeAfterMs = 0;
  std::vector<std::vector<uint8_t>> sent;
  DWORD outputOpenFlags = 0;
  int sleeps = 0;

  // Timer.
  TIMECAPS caps{1, 1000000};
  void Tick(UINT id);
  bool EventRuns(UINT id);
  int resolutionRequests = 0;  // begun minus ended

  // Device list.
  std::vector<std::string> inputNames;
  std::vector<std::string> outputNames;

  // Used by the fake functions themselves.
  std::recursive_mutex mutex;
  std::vector<std::string> calls;
  std::map<std::string, std::vector<MMRESULT>> script;
  std::map<std::string, std::function<void()>> during;
  MMRESULT Enter(const std::string& name, const std::string& arguments = "");
  void After(const std::string& name);

  bool inputIsOpen = false;
  DWORD_PTR inputCallback = 0;
  std::vector<MIDIHDR*> queued;
  bool outputIsOpen = false;
  MIDIHDR* pending = nullptr;
  std::vector<std::thread> completers;
  std::map<UINT, std::pair<LPTIMECALLBACK, DWORD_PTR>> events;
  UINT lastEvent = 100;
};

}  // namespace tarn::test
