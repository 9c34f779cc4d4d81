// An in-process device (the virtual device) as one input and one output port named after the
// device it stands in for, ahead of every other device in the numbering.
#pragma once

#include "midi/platform/loopback_peer.h"
#include "resources/product.h"

namespace tarn::platform {

inline constexpr const char* kLoopbackDeviceName = kDeviceName;

// Connects `peer` (replacing any earlier one): the ports appear at the next device count. The
// peer must stay alive until RemoveLoopbackPeer has returned.
void InstallLoopbackPeer(LoopbackPeer* peer);
// Disconnects the peer: sends to it fail from now on and nothing more arrives from it; the
// ports disappear at the next device count.
void RemoveLoopbackPeer();

}  // namespace tarn::platform
