// Open rawmidi devices. Each factory takes ownership of a handle that is already opened and
// configured, and closes it when it fails.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "midi/platform/backend.h"

namespace tarn::platform {

// Reads on its own thread and hands every byte to `handler`, starting with `early` (what the
// arming read returned). nullptr when the thread's wake-up cannot be set up.
std::unique_ptr<InputConnection> MakeAlsaInput(snd_rawmidi_t* handle, std::vector<uint8_t> early,
                                               InputBytesHandler handler);
// `handle` must be in blocking mode: the writes then wait for room in the buffer. With `drain`
// each send also waits until the driver has sent the last byte.
std::unique_ptr<OutputConnection> MakeAlsaOutput(snd_rawmidi_t* handle, bool drain);

}  // namespace tarn::platform
