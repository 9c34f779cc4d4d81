// Windows only, included by winmm.h after the system's headers: the midi* calls that code in
// namespace tarn makes (the ports) reach the router, which numbers the in-process loopback
// device first and the system's devices after it, and forwards each call to our own layer or
// to the system's WinMM. Types, constants, the timer and Sleep stay the system's.
//
// The names in namespace tarn are constant pointers, not functions: when ordinary lookup finds
// a variable, argument-dependent lookup is not done, and that lookup would also find the global
// WinMM functions (the handle and header types are global) and make every call ambiguous. Each
// pointer has the exact type of the system function whose name it takes.
#pragma once

namespace tarn::platform::routed {

UINT WINAPI midiInGetNumDevs();
MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic);
MMRESULT WINAPI midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback,
                           DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT WINAPI midiInClose(HMIDIIN hmi);
MMRESULT WINAPI midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInStart(HMIDIIN hmi);
MMRESULT WINAPI midiInStop(HMIDIIN hmi);
MMRESULT WINAPI midiInReset(HMIDIIN hmi);

UINT WINAPI midiOutGetNumDevs();
MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc);
MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback,
                            DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT WINAPI midiOutClose(HMIDIOUT hmo);
MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutReset(HMIDIOUT hmo);

}  // namespace tarn::platform::routed

namespace tarn {

#define TARN_ROUTE(name) inline constexpr decltype(&::name) name = &platform::routed::name

TARN_ROUTE(midiInGetNumDevs);
TARN_ROUTE(midiInGetDevCapsA);
TARN_ROUTE(midiInOpen);
TARN_ROUTE(midiInClose);
TARN_ROUTE(midiInPrepareHeader);
TARN_ROUTE(midiInUnprepareHeader);
TARN_ROUTE(midiInAddBuffer);
TARN_ROUTE(midiInStart);
TARN_ROUTE(midiInStop);
TARN_ROUTE(midiInReset);

TARN_ROUTE(midiOutGetNumDevs);
TARN_ROUTE(midiOutGetDevCapsA);
TARN_ROUTE(midiOutOpen);
TARN_ROUTE(midiOutClose);
TARN_ROUTE(midiOutPrepareHeader);
TARN_ROUTE(midiOutUnprepareHeader);
TARN_ROUTE(midiOutLongMsg);
TARN_ROUTE(midiOutReset);

#undef TARN_ROUTE

}  // namespace tarn
