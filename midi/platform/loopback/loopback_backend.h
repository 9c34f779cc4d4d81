// The backend behind InstallLoopbackPeer: one input and one output device while a peer is
// installed, none otherwise.
#pragma once

#include <memory>

#include "midi/platform/backend.h"

namespace tarn::platform {

std::unique_ptr<Backend> MakeLoopbackBackend();

}  // namespace tarn::platform
