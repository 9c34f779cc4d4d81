#include "sysex/field_writer.h"

#include "sysex/codec.h"
#include "sysex/messages.h"

namespace tarn {

FieldWriter::FieldWriter(size_t length) {
  m_message.reserve(length);
  m_message.push_back(kSysExStart);
}

FieldWriter& FieldWriter::Data(uint8_t byte) {
  m_message.push_back(byte & 0x7F);
  return *this;
}

FieldWriter& FieldWriter::Data(std::span<const uint8_t> bytes) {
  for (const uint8_t byte : bytes)
    Data(byte);
  return *this;
}

FieldWriter& FieldWriter::Number35(uint32_t value) {
  uint8_t groups[5];
  Encode35(value, groups);
  return Data(groups);
}

FieldWriter& FieldWriter::Length14(int32_t value) {
  return Data(static_cast<uint8_t>(value)).Data(static_cast<uint8_t>(value >> 7));
}

FieldWriter& FieldWriter::Packed(std::span<const uint8_t> raw) {
  const auto length = static_cast<int32_t>(raw.size());
  const size_t at = m_message.size();
  m_message.resize(at + static_cast<size_t>(PackedLength(length)));
  Pack7(m_message.data() + at, raw.data(), length);
  return *this;
}

std::vector<uint8_t> FieldWriter::Close() {
  m_message.push_back(kSysExEnd);
  return std::move(m_message);
}

}  // namespace tarn
