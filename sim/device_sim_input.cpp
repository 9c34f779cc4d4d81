#include "sim/device_sim_input.h"

namespace tarn::sim {
namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr uint8_t kFirstRealTime = 0xF8;

}  // namespace

void SysExAssembler::Feed(std::span<const uint8_t> bytes) {
  for (const uint8_t byte : bytes) {
    if (byte >= kFirstRealTime) continue;
    if (byte == kSysExStart) {
      m_inMessage = true;
      m_message.assign(1, byte);
      continue;
    }
    if (!m_inMessage) continue;
    if (byte == kSysExEnd) {
      m_message.push_back(byte);
      m_inMessage = false;
      m_handler(m_message);
      continue;
    }
    if (byte & 0x80) {
      m_inMessage = false;
      continue;
    }
    m_message.push_back(byte);
  }
}

}  // namespace tarn::sim
