#include "sysex/sysex_framer.h"

#include "sysex/messages.h"

namespace tarn {
namespace {

constexpr uint8_t kFirstRealTime = 0xF8;

}  // namespace

void SysExFramer::Feed(std::span<const uint8_t> bytes, const Handler& handler) {
  for (const uint8_t byte : bytes) {
    if (byte >= kFirstRealTime) continue;
    if (byte == kSysExStart) {
      if (m_inMessage) Drop();
      m_inMessage = true;
      m_oversized = false;
      m_message.clear();
      m_message.push_back(byte);
      continue;
    }
    if (!m_inMessage) continue;
    if ((byte & 0x80) != 0 && byte != kSysExEnd) {
      Drop();
      continue;
    }
    if (!m_oversized && m_message.size() + 1 > m_limit) {
      m_oversized = true;
      m_message = {};
    }
    if (m_oversized) {
      if (byte == kSysExEnd) Drop();
      continue;
    }
    m_message.push_back(byte);
    if (byte != kSysExEnd) continue;
    m_inMessage = false;
    std::vector<uint8_t> message;
    message.swap(m_message);
    handler(std::move(message));
  }
}

void SysExFramer::Abandon() {
  if (m_inMessage) Drop();
}

void SysExFramer::Drop() {
  m_inMessage = false;
  m_oversized = false;
  m_message.clear();
  ++m_dropped;
}

}  // namespace tarn
