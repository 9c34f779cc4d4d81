// tarn-device-sim: whole SysEx messages out of a MIDI byte stream, however the stream was cut
// into pieces, for a device that takes one message at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tarn::sim {

class SysExAssembler {
 public:
  using Handler = std::function<void(std::span<const uint8_t> message)>;
  explicit SysExAssembler(Handler handler) : m_handler(std::move(handler)) {}

  // Hands each message completed by `bytes` to the handler, F0 to F7. Real-time bytes inside a
  // message are skipped; any other status byte abandons it, as a receiver must.
  void Feed(std::span<const uint8_t> bytes);

 private:
  Handler m_handler;
  bool m_inMessage = false;
  std::vector<uint8_t> m_message;
};

}  // namespace tarn::sim
