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

struct AlsaConfig {
  // Each send returns once the driver has sent the message's last byte, not once the message
  // is in the kernel's buffer. An updater needs that; a device answering does not, and a
  // driver without a drain of its own (a USB gadget's f_midi) sleeps 50 ms in every drain.
  bool drainEachMessage = true;
};

std::unique_ptr<Backend> MakeAlsaBackend(AlsaConfig config = {});

}  // namespace tarn::platform
