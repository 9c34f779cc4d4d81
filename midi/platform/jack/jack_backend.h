// The JACK backend: one JACK client per backend, holding one MIDI input and one MIDI output
// port. Its devices are the other clients' MIDI ports, named after their client. The client is
// made on first use, and again after its server went away; a server is never started.
#pragma once

#include <memory>
#include <string>

#include "midi/platform/backend.h"

namespace tarn::platform {

inline constexpr char kJackDefaultClientName[] = "tarn-updater";
inline constexpr char kJackInputPortName[] = "MIDI 1 in";
inline constexpr char kJackOutputPortName[] = "MIDI 1 out";

class JackBackend : public Backend {
 public:
  // Our own ports, connected to nothing: for a program that plays a device and waits for others
  // to connect to it. One input and one output at a time, shared with OpenInput/OpenOutput.
  virtual std::unique_ptr<InputConnection> ListenInput(InputBytesHandler handler) = 0;
  virtual std::unique_ptr<OutputConnection> ListenOutput() = 0;
  // The name the server granted (it appends a number to a name already taken); empty when no
  // server answers.
  virtual std::string ClientName() = 0;
};

// Client name kJackDefaultClientName.
std::unique_ptr<Backend> MakeJackBackend();
std::unique_ptr<JackBackend> MakeJackBackend(std::string clientName);

}  // namespace tarn::platform
