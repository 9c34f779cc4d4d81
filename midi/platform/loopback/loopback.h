// An in-process device (the virtual device) as one input and one output port, ahead of every
// other device in the numbering, under the name its caller gives it.
#pragma once

#include <string>

#include "midi/platform/loopback_peer.h"

namespace tarn::platform {

// Connects `peer` (replacing any earlier one) as the device `name`: the ports appear at the
// next device count. The peer must stay alive until RemoveLoopbackPeer has returned.
void InstallLoopbackPeer(LoopbackPeer* peer, std::string name);
// Disconnects the peer: sends to it fail from now on and nothing more arrives from it; the
// ports disappear at the next device count.
void RemoveLoopbackPeer();

}  // namespace tarn::platform
