#include "sysex/sysex_framer.h"

#include <algorithm>

#include "sysex/messages.h"

namespace tarn {
namespace {

constexpr uint8_t kFirstRealTime = 0xF8;

bool IsStatus(uint8_t byte) {
  return (byte & 0x80) != 0;
}

}  // namespace

// Works on runs of data bytes rather than byte by byte: a message that lies whole in one piece
// is copied once, into a vector of its exact size.
void SysExFramer::Feed(std::span<const uint8_t> bytes, const Handler& handler) {
  auto next = bytes.begin();
  while (next != bytes.end()) {
    if (!m_inMessage) {
      next = std::find(next, bytes.end(), kSysExStart);
      if (next == bytes.end()) return;
      const auto end = std::find_if(next + 1, bytes.end(), IsStatus);
      if (end != bytes.end() && *end == kSysExEnd) {
        const auto length = static_cast<size_t>(end - next) + 1;
        if (length <= m_limit) {
          handler(std::vector<uint8_t>(next, end + 1));
        } else {
          ++m_dropped;
        }
        next = end + 1;
        continue;
      }
      m_inMessage = true;
      m_oversized = false;
      m_message.clear();
      m_message.push_back(kSysExStart);
      ++next;
      continue;
    }
    const auto stop = std::find_if(next, bytes.end(), IsStatus);
    Append({next, stop});
    next = stop;
    if (next == bytes.end()) return;
    const uint8_t status = *next;
    if (status >= kFirstRealTime) {
      ++next;
      continue;
    }
    if (status != kSysExEnd) {
      // Broken; an F0 is looked at again as the start of the next message.
      Drop();
      if (status != kSysExStart) ++next;
      continue;
    }
    ++next;
    Append({&kSysExEnd, 1});
    if (m_oversized) {
      Drop();
      continue;
    }
    m_inMessage = false;
    std::vector<uint8_t> message;
    message.swap(m_message);
    handler(std::move(message));
  }
}

void SysExFramer::Append(std::span<const uint8_t> run) {
  if (m_oversized || run.empty()) return;
  if (m_message.size() + run.size() > m_limit) {
    m_oversized = true;
    m_message = {};
    return;
  }
  m_message.insert(m_message.end(), run.begin(), run.end());
}

void SysExFramer::Abandon() {
  if (m_inMessage) Drop();
}

void SysExFramer::Reject() {
  Drop();
}

void SysExFramer::Drop() {
  m_inMessage = false;
  m_oversized = false;
  m_message.clear();
  ++m_dropped;
}

}  // namespace tarn
