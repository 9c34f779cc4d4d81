#include "sysex/field_reader.h"

#include <algorithm>

#include "sysex/codec.h"
#include "sysex/messages.h"

namespace tarn {
namespace {

constexpr size_t kNumber35Bytes = 5;
constexpr size_t kLength14Bytes = 2;

constexpr bool IsData(uint8_t byte) {
  return (byte & 0x80) == 0;
}

}  // namespace

void FieldReader::Expect(uint8_t byte) {
  if (!m_failed && m_at < m_message.size() && m_message[m_at] == byte) {
    ++m_at;
    return;
  }
  m_failed = true;
}

uint8_t FieldReader::Data() {
  const std::span<const uint8_t> byte = Data(1);
  return byte.empty() ? 0 : byte.front();
}

std::span<const uint8_t> FieldReader::Data(size_t count) {
  if (m_failed || count > m_message.size() - m_at) {
    m_failed = true;
    return {};
  }
  const std::span<const uint8_t> bytes = m_message.subspan(m_at, count);
  if (!std::all_of(bytes.begin(), bytes.end(), IsData)) {
    m_failed = true;
    return {};
  }
  m_at += count;
  return bytes;
}

uint32_t FieldReader::Number35() {
  const std::span<const uint8_t> bytes = Data(kNumber35Bytes);
  return bytes.empty() ? 0 : Decode35(bytes.data());
}

int32_t FieldReader::Length14() {
  const std::span<const uint8_t> bytes = Data(kLength14Bytes);
  return bytes.empty() ? 0 : bytes[0] | (bytes[1] << 7);
}

bool FieldReader::Closed() const {
  return !m_failed && m_at + 1 == m_message.size() && m_message[m_at] == kSysExEnd;
}

}  // namespace tarn
