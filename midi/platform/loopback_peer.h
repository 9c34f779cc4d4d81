// A device living in this process (the virtual device), reached through the loopback backend
// as one input and one output port instead of through a MIDI system.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace tarn::platform {

using PeerOutput = std::function<void(std::span<const uint8_t> message)>;

class LoopbackPeer {
 public:
  virtual ~LoopbackPeer() = default;
  // One whole message from the host. Returns at once; the peer models its own link time.
  virtual void Receive(std::span<const uint8_t> message) = 0;
  // Where the peer's messages go, called on the peer's own thread. An empty function
  // disconnects; once SetOutput has returned, the previous output is never called again.
  virtual void SetOutput(PeerOutput output) = 0;
};

}  // namespace tarn::platform
