// midiIn* over the registry's devices. MIM_OPEN and MIM_CLOSE are not sent.
#include <memory>

#include "midi/platform/handle_table.h"
#include "midi/platform/input_device.h"
#include "midi/platform/midi_calls.h"
#include "midi/platform/registry.h"
#include "midi/platform/winmm.h"

using tarn::platform::DeviceRegistry;
using tarn::platform::InputDevice;

TARN_MIDI_CALLS_BEGIN

namespace {

using InputCallback = void CALLBACK(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

constexpr DWORD kCallbackTypeMask = 0x00070000;

tarn::platform::HandleTable<HMIDIIN, InputDevice>& Devices() {
  static tarn::platform::HandleTable<HMIDIIN, InputDevice> devices;
  return devices;
}

// A header of the size the caller says it passes.
bool Valid(LPMIDIHDR header, UINT size) {
  return header && size >= sizeof(MIDIHDR);
}

template <typename Operation>
MMRESULT WithDevice(HMIDIIN handle, Operation operation) {
  const std::shared_ptr<InputDevice> device = Devices().Find(handle);
  return device ? operation(*device) : MMSYSERR_INVALHANDLE;
}

}  // namespace

UINT midiInGetNumDevs() {
  return DeviceRegistry::Instance().CountInputs();
}

MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic) {
  if (!pmic || cbmic < sizeof(MIDIINCAPSA)) return MMSYSERR_INVALPARAM;
  const auto device = DeviceRegistry::Instance().Input(uDeviceID);
  if (!device) return MMSYSERR_BADDEVICEID;
  *pmic = {};
  tarn::platform::CopyProductName(device->info.name, pmic->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen) {
  if (!phmi) return MMSYSERR_INVALPARAM;
  *phmi = nullptr;
  const DWORD callbackType = fdwOpen & kCallbackTypeMask;
  if (fdwOpen != callbackType ||
      (callbackType != CALLBACK_FUNCTION && callbackType != CALLBACK_NULL)) {
    return MMSYSERR_INVALFLAG;
  }
  auto* callback =
      callbackType == CALLBACK_FUNCTION ? reinterpret_cast<InputCallback*>(dwCallback) : nullptr;
  const auto registered = DeviceRegistry::Instance().Input(uDeviceID);
  if (!registered) return MMSYSERR_BADDEVICEID;

  // The handle is known only once the device is in the table; the callback reads it then.
  auto handle = std::make_shared<HMIDIIN>(nullptr);
  auto device = std::make_shared<InputDevice>(
      [callback, handle, dwInstance](UINT notice, DWORD_PTR param1, DWORD_PTR param2) {
        if (callback) callback(*handle, notice, dwInstance, param1, param2);
      });
  auto connection = registered->backend->OpenInput(
      registered->info,
      [raw = device.get()](std::span<const uint8_t> bytes) { raw->Receive(bytes); });
  if (!connection) return MMSYSERR_ALLOCATED;
  device->Attach(registered->backend, std::move(connection));
  // Nothing is delivered before midiInStart, so the handle is written before any callback.
  *handle = Devices().Add(device);
  *phmi = *handle;
  return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN hmi) {
  const MMRESULT result = WithDevice(hmi, [](InputDevice& device) { return device.Close(); });
  if (result == MMSYSERR_NOERROR) Devices().Remove(hmi);
  return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmi, [pmh](InputDevice& device) { return device.Prepare(pmh); });
}

MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmi, [pmh](InputDevice& device) { return device.Unprepare(pmh); });
}

MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  if (!Valid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
  return WithDevice(hmi, [pmh](InputDevice& device) { return device.AddBuffer(pmh); });
}

MMRESULT midiInStart(HMIDIIN hmi) {
  return WithDevice(hmi, [](InputDevice& device) { return device.Start(); });
}

MMRESULT midiInStop(HMIDIIN hmi) {
  return WithDevice(hmi, [](InputDevice& device) { return device.Stop(); });
}

MMRESULT midiInReset(HMIDIIN hmi) {
  return WithDevice(hmi, [](InputDevice& device) { return device.Reset(); });
}

TARN_MIDI_CALLS_END
