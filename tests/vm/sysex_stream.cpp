#include "tests/vm/sysex_stream.h"

#include <cstdio>
#include <random>

namespace tarn {

Bytes MakeSysEx(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes message(size);
  message.front() = 0xF0;
  message[1] = 0x7D;
  for (size_t i = 2; i + 1 < size; ++i)
    message[i] = static_cast<uint8_t>(generator() & 0x7F);
  message.back() = 0xF7;
  return message;
}

std::string Mismatch(const Bytes& sent, const Bytes& received) {
  size_t at = 0;
  while (at < sent.size() && at < received.size() && sent[at] == received[at])
    ++at;
  if (at == sent.size() && at == received.size()) return {};
  char text[160];
  std::snprintf(text, sizeof text,
                "sent %zu bytes, received %zu; first difference at byte %zu (sent 0x%02X, "
                "received 0x%02X)",
                sent.size(), received.size(), at, at < sent.size() ? sent[at] : 0u,
                at < received.size() ? received[at] : 0u);
  return text;
}

}  // namespace tarn
