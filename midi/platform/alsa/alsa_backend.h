// The ALSA rawmidi backend for USB devices on Linux: every rawmidi subdevice is a device,
// named after its card ("hw:C,D,S" is its id).
#pragma once

#include <cstddef>
#include <memory>

#include "midi/platform/backend.h"

namespace tarn::platform {

// Both rawmidi buffers get at least this much: a virtual card has no flow control, and with a
// smaller buffer what does not fit is lost without an error.
inline constexpr size_t kAlsaRawmidiBufferBytes = 64 << 10;

std::unique_ptr<Backend> MakeAlsaBackend();

}  // namespace tarn::platform
