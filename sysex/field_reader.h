// Reads the fields of one SysEx message front to back, every read checked against its end: the
// one way sysex/ takes a received message apart, so no parser counts byte positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

class FieldReader {
 public:
  explicit FieldReader(std::span<const uint8_t> message) : m_message(message) {}

  // A read past the end, a byte other than the one expected, or a byte with bit 7 set where a
  // data byte belongs makes the reader fail for good; from then on every read gives 0 (or
  // nothing), so a parser reads all its fields and asks once, at the end.
  void Expect(uint8_t byte);
  uint8_t Data();
  std::span<const uint8_t> Data(size_t count);
  uint32_t Number35();  // five data bytes, least significant group first
  int32_t Length14();   // two data bytes, least significant group first

  bool Failed() const { return m_failed; }
  // True when nothing failed and all that is left is the closing F7.
  bool Closed() const;

 private:
  std::span<const uint8_t> m_message;
  size_t m_at = 0;
  bool m_failed = false;
};

}  // namespace tarn
