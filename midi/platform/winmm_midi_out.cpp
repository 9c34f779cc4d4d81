// midiOut* over the registry's devices. Output takes no callback: completion is the header's
// done flag, set before midiOutLongMsg returns (see OutputDevice).
#include <memory>

#include "midi/platform/handle_table.h"
#include "midi/platform/midi_calls.h"
#include "midi/platform/output_device.h"
#include "midi/platform/registry.h"
#include "midi/platform/winmm.h"

using tarn::platform::DeviceRegistry;
using tarn::platform::OutputDevice;

TARN_MIDI_CALLS_BEGIN

namespace {

tarn::platform::HandleTable<HMIDIOUT, OutputDevice>& Devices() {
  static tarn::platform::HandleTable<HMIDIOUT, OutputDevice> devices;
  return devices;
}

bool Valid(LPMIDIHDR header, UINT size) {
  return header && size >= sizeof(MIDIHDR);
}

template <typename Operation>
MMRESULT WithDevice(HMIDIOUT handle, Operation operation) {
  const std::shared_ptr<OutputDevice> device = Devices().Find(handle);
  return device ? operation(*device) : MMSYSERR_INVALHANDLE;
}

}  // namespace

UINT midiOutGetNumDevs() {
  return DeviceRegistry::Instance().CountOutputs();
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc) {
  if (!pmoc || cbmoc < sizeof(MIDIOUTCAPSA)) return MMSYSERR_INVALPARAM;
  const auto device = DeviceRegistry::Instance().Output(uDeviceID);
  if (!device) return MMSYSERR_BADDEVICEID;
  *pmoc = {};
  tarn::platform::CopyProductName(device->info.name, pmoc->szPname);
  return MMSYSERR_NOERROR;
}

// There is no MIDI mapper: MIDI_MAPPER is an unknown device like any other.
MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR /*dwCallback*/,
                     DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  if (!phmo) return MMSYSERR_INVALPARAM;
  *phmo = nullptr;
  if (fdwOpen != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
  const auto registered = DeviceRegistry::Instance().Output(uDeviceID);
  if (!registered) return MMSYSERR_BADDEVICEID;
  auto connection = registered->backend->OpenOutput(registered->info);
  if (!connection) return MMSYSERR_ALLOCATED;
  *phmo = Devices().Add(std::make_shared<OutputDevice>(registered->backend, std::move(connection)));
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
  const MMRESULT result = WithDevice(hmo, [](OutputDevice& device) { return device.Close(); });
  if (result == MMSYSERR_NOERROR) Devices().Remove(hmo);
  return result;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmo, [pmh](OutputDevice& device) { return device.Prepare(pmh); });
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmo, [pmh](OutputDevice& device) { return device.Unprepare(pmh); });
}

MMRESULT midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmo, [pmh](OutputDevice& device) { return device.LongMsg(pmh); });
}

MMRESULT midiOutReset(HMIDIOUT hmo) {
  return WithDevice(hmo, [](OutputDevice& device) { return device.Reset(); });
}

TARN_MIDI_CALLS_END
