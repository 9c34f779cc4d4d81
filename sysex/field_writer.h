// Writes one SysEx message front to back into a vector of its own: the one way sysex/ puts
// together the messages a device sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

class FieldWriter {
 public:
  // Starts the message with F0; `length` is what it will hold, to allocate once.
  explicit FieldWriter(size_t length);

  // Only the low seven bits: bit 7 between F0 and F7 would end the message early on the wire.
  FieldWriter& Data(uint8_t byte);
  FieldWriter& Data(std::span<const uint8_t> bytes);
  FieldWriter& Number35(uint32_t value);
  FieldWriter& Length14(int32_t value);
  // `raw` packed into 7-bit groups.
  FieldWriter& Packed(std::span<const uint8_t> raw);

  // Ends the message with F7 and hands it over.
  std::vector<uint8_t> Close();

 private:
  std::vector<uint8_t> m_message;
};

}  // namespace tarn
