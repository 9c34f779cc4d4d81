// The open input and output devices of a JACK client.
#pragma once

#include <memory>
#include <string>

#include "midi/platform/backend.h"
#include "midi/platform/jack/jack_client.h"

namespace tarn::platform {

// Connects our input port to `source` alone, or to nothing when `source` is empty. nullptr when
// the client's input is already in use or the connection cannot be made.
std::unique_ptr<InputConnection> OpenJackInput(std::shared_ptr<JackClient> client,
                                               const std::string& source,
                                               InputBytesHandler handler);
// The same for our output port and `sink`.
std::unique_ptr<OutputConnection> OpenJackOutput(std::shared_ptr<JackClient> client,
                                                 const std::string& sink);

}  // namespace tarn::platform
