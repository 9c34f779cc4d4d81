#include "cli/display_text.h"

#include <cstdint>

namespace tarn::cli {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of `text` and its code point; 0 when the
// sequence is invalid (overlong, a surrogate, beyond U+10FFFF, cut short).
size_t Decode(std::string_view text, uint32_t* code) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint32_t value = 0;
  uint32_t least = 0;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(i) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

}  // namespace

std::string DisplayText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    uint32_t code = 0;
    const size_t length = Decode(text, &code);
    if (length == 0) {
      shown += kReplacement;
      text.remove_prefix(1);
      continue;
    }
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
      shown += '?';
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return shown;
}

}  // namespace tarn::cli
