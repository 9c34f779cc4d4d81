// The router behind windows/routed_calls.h. A caller only ever sees the router's own handles,
// each standing for a device opened either through our layer (the loopback, or backends a
// program sets) or through the system's WinMM, so handles of the two kinds can never be taken
// for one another, whatever values each side hands out. Callbacks pass through the router too,
// so that they carry the handle the caller knows.
#include <algorithm>
#include <memory>
#include <optional>
#include <type_traits>

#include "midi/platform/handle_table.h"
#include "midi/platform/midi_calls.h"
#include "midi/platform/registry.h"
#include "midi/platform/windows/system_backend.h"
#include "midi/platform/winmm.h"

namespace tarn::platform::routed {

namespace {

template <typename Handle>
struct Route {
  using Callback = void CALLBACK(Handle, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

  bool system = false;
  Handle inner = nullptr;  // the handle of our layer or of the system
  Handle outer = nullptr;  // the router's, known to the caller
  Callback* callback = nullptr;
  DWORD_PTR instance = 0;
};

template <typename Handle>
HandleTable<Handle, Route<Handle>>& Routes() {
  static HandleTable<Handle, Route<Handle>> routes;
  return routes;
}

template <typename Handle>
void CALLBACK Forward(Handle, UINT message, DWORD_PTR route, DWORD_PTR param1, DWORD_PTR param2) {
  const auto& self = *reinterpret_cast<const Route<Handle>*>(route);
  if (self.callback) self.callback(self.outer, message, self.instance, param1, param2);
}

// Where a device ID leads: a device of the system (by its own index, or its MIDI mapper), or
// one of ours (by the ID itself).
struct Target {
  bool system;
  UINT index;
};

// The mapper is the system's, so it is there only while the system's devices are numbered.
bool SystemNumbered() {
  const auto backends = DeviceRegistry::Instance().Backends();
  return std::ranges::any_of(backends,
                             [](const auto& backend) { return IsSystemBackend(*backend); });
}

std::optional<Target> Find(UINT_PTR id, bool input) {
  if (id == MIDI_MAPPER || id == static_cast<UINT_PTR>(-1)) {
    if (!SystemNumbered()) return std::nullopt;
    return Target{true, MIDI_MAPPER};
  }
  auto& registry = DeviceRegistry::Instance();
  const auto device = input ? registry.Input(id) : registry.Output(id);
  if (!device) return std::nullopt;
  if (const auto index = SystemDeviceIndex(*device)) return Target{true, *index};
  return Target{false, static_cast<UINT>(id)};
}

template <typename Handle, typename Open, typename OwnOpen>
MMRESULT OpenRouted(Handle* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags,
                    bool input, Open systemOpen, OwnOpen ownOpen) {
  if (!handle) return MMSYSERR_INVALPARAM;
  *handle = nullptr;
  // Other kinds of callback (a window, a thread, an event) would see the inner handle.
  const DWORD callbackType = flags & CALLBACK_TYPEMASK;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) {
    return MMSYSERR_INVALFLAG;
  }
  const auto target = Find(id, input);
  if (!target) return MMSYSERR_BADDEVICEID;

  auto route = std::make_shared<Route<Handle>>();
  route->system = target->system;
  route->callback = reinterpret_cast<typename Route<Handle>::Callback*>(callback);
  route->instance = instance;
  // In the table before the open, so that a callback during the open already has it.
  route->outer = Routes<Handle>().Add(route);
  const DWORD_PTR forward =
      callbackType == CALLBACK_FUNCTION ? reinterpret_cast<DWORD_PTR>(&Forward<Handle>) : 0;
  const auto self = reinterpret_cast<DWORD_PTR>(route.get());
  const MMRESULT result = target->system
                              ? systemOpen(&route->inner, target->index, forward, self, flags)
                              : ownOpen(&route->inner, target->index, forward, self, flags);
  if (result != MMSYSERR_NOERROR) {
    Routes<Handle>().Remove(route->outer);
    return result;
  }
  *handle = route->outer;
  return MMSYSERR_NOERROR;
}

// One call on an open device, by whichever side opened it.
template <typename Handle, typename... Args>
MMRESULT Call(Handle handle, MMRESULT(WINAPI* system)(Handle, Args...),
              MMRESULT (*own)(Handle, Args...), std::type_identity_t<Args>... args) {
  const auto route = Routes<Handle>().Find(handle);
  if (!route) return MMSYSERR_INVALHANDLE;
  return route->system ? system(route->inner, args...) : own(route->inner, args...);
}

template <typename Handle>
MMRESULT CloseRouted(Handle handle, MMRESULT(WINAPI* system)(Handle), MMRESULT (*own)(Handle)) {
  const MMRESULT result = Call(handle, system, own);
  // After a successful close no callback comes any more, so the route may go.
  if (result == MMSYSERR_NOERROR) Routes<Handle>().Remove(handle);
  return result;
}

}  // namespace

// Our layer counts the loopback, the system's devices and any other backend in one snapshot.
UINT WINAPI midiInGetNumDevs() {
  return own::midiInGetNumDevs();
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic) {
  const auto target = Find(uDeviceID, true);
  if (!target) return MMSYSERR_BADDEVICEID;
  return target->system ? ::midiInGetDevCapsA(target->index, pmic, cbmic)
                        : own::midiInGetDevCapsA(uDeviceID, pmic, cbmic);
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback,
                           DWORD_PTR dwInstance, DWORD fdwOpen) {
  return OpenRouted(phmi, uDeviceID, dwCallback, dwInstance, fdwOpen, true, &::midiInOpen,
                    &own::midiInOpen);
}

MMRESULT WINAPI midiInClose(HMIDIIN hmi) {
  return CloseRouted(hmi, &::midiInClose, &own::midiInClose);
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmi, &::midiInPrepareHeader, &own::midiInPrepareHeader, pmh, cbmh);
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmi, &::midiInUnprepareHeader, &own::midiInUnprepareHeader, pmh, cbmh);
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmi, &::midiInAddBuffer, &own::midiInAddBuffer, pmh, cbmh);
}

MMRESULT WINAPI midiInStart(HMIDIIN hmi) {
  return Call(hmi, &::midiInStart, &own::midiInStart);
}

MMRESULT WINAPI midiInStop(HMIDIIN hmi) {
  return Call(hmi, &::midiInStop, &own::midiInStop);
}

MMRESULT WINAPI midiInReset(HMIDIIN hmi) {
  return Call(hmi, &::midiInReset, &own::midiInReset);
}

UINT WINAPI midiOutGetNumDevs() {
  return own::midiOutGetNumDevs();
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc) {
  const auto target = Find(uDeviceID, false);
  if (!target) return MMSYSERR_BADDEVICEID;
  return target->system ? ::midiOutGetDevCapsA(target->index, pmoc, cbmoc)
                        : own::midiOutGetDevCapsA(uDeviceID, pmoc, cbmoc);
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback,
                            DWORD_PTR dwInstance, DWORD fdwOpen) {
  return OpenRouted(phmo, uDeviceID, dwCallback, dwInstance, fdwOpen, false, &::midiOutOpen,
                    &own::midiOutOpen);
}

MMRESULT WINAPI midiOutClose(HMIDIOUT hmo) {
  return CloseRouted(hmo, &::midiOutClose, &own::midiOutClose);
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmo, &::midiOutPrepareHeader, &own::midiOutPrepareHeader, pmh, cbmh);
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmo, &::midiOutUnprepareHeader, &own::midiOutUnprepareHeader, pmh, cbmh);
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  return Call(hmo, &::midiOutLongMsg, &own::midiOutLongMsg, pmh, cbmh);
}

MMRESULT WINAPI midiOutReset(HMIDIOUT hmo) {
  return Call(hmo, &::midiOutReset, &own::midiOutReset);
}

}  // namespace tarn::platform::routed
