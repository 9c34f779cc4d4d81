// Our own midiIn* and midiOut* calls, implemented over the registry's devices. Everywhere but
// Windows they are the global WinMM names the ports call. On Windows the global names are the
// system's, so ours live in a namespace of their own that the router reaches (see
// windows/routed_calls.h); TARN_MIDI_CALLS_BEGIN/END open and close it, and are empty elsewhere.
#pragma once

#include "midi/platform/winmm.h"

#ifdef _WIN32
#define TARN_MIDI_CALLS_BEGIN namespace tarn::platform::own {
#define TARN_MIDI_CALLS_END }
#else
#define TARN_MIDI_CALLS_BEGIN
#define TARN_MIDI_CALLS_END
#endif

TARN_MIDI_CALLS_BEGIN

UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic);
// dwCallback with CALLBACK_FUNCTION: void CALLBACK (HMIDIIN, UINT wMsg, DWORD_PTR dwInstance,
// DWORD_PTR dwParam1, DWORD_PTR dwParam2), called on a thread of the platform.
MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen);
MMRESULT midiInClose(HMIDIIN hmi);
MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInStart(HMIDIIN hmi);
MMRESULT midiInStop(HMIDIIN hmi);
MMRESULT midiInReset(HMIDIIN hmi);

UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc);
MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen);
MMRESULT midiOutClose(HMIDIOUT hmo);
MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutReset(HMIDIOUT hmo);

TARN_MIDI_CALLS_END
