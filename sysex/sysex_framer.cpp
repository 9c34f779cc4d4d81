#include "sysex/sysex_framer.h"

#include <algorithm>
#include <utility>

#include "sysex/messages.h"

namespace tarn {
namespace {

using Kind = SysExPiece::Kind;

bool IsStatus(uint8_t byte) {
  return (byte & 0x80) != 0;
}

size_t Distance(std::span<const uint8_t> bytes, std::span<const uint8_t>::iterator to) {
  return static_cast<size_t>(to - bytes.begin());
}

}  // namespace

// Runs of data bytes and of bytes outside a message come as one piece, so that readers copy or
// skip them whole rather than byte by byte.
SysExPiece NextSysExPiece(bool inMessage, std::span<const uint8_t> bytes) {
  const uint8_t first = bytes.front();
  if (!inMessage) {
    if (first == kSysExStart) return {Kind::kStart, 1};
    return {Kind::kOutside, Distance(bytes, std::find(bytes.begin(), bytes.end(), kSysExStart))};
  }
  if (!IsStatus(first)) {
    return {Kind::kBody, Distance(bytes, std::find_if(bytes.begin(), bytes.end(), IsStatus))};
  }
  if (first >= kFirstRealTime) return {Kind::kRealTime, 1};
  if (first == kSysExEnd) return {Kind::kEnd, 1};
  return {Kind::kBreak, 0};
}

void SysExFramer::Feed(std::span<const uint8_t> bytes, const Handler& handler) {
  while (!bytes.empty()) {
    const SysExPiece piece = NextSysExPiece(m_inMessage, bytes);
    size_t taken = piece.length;
    switch (piece.kind) {
      case Kind::kOutside:
      case Kind::kRealTime:
        break;
      case Kind::kStart:
        taken = TakeWhole(bytes, handler);
        if (taken > 0) break;
        taken = piece.length;
        m_inMessage = true;
        m_oversized = false;
        m_message.assign(1, kSysExStart);
        break;
      case Kind::kBody:
        Append(bytes.first(taken));
        break;
      case Kind::kEnd:
        Append({&kSysExEnd, 1});
        if (m_oversized) {
          Drop();
          break;
        }
        m_inMessage = false;
        handler(std::exchange(m_message, {}));
        break;
      case Kind::kBreak:
        Drop();
        break;
    }
    bytes = bytes.subspan(taken);
  }
}

// A message that lies whole in one piece is copied once, into a vector of its exact size.
size_t SysExFramer::TakeWhole(std::span<const uint8_t> bytes, const Handler& handler) {
  size_t length = 1;
  if (length < bytes.size()) {
    const SysExPiece body = NextSysExPiece(true, bytes.subspan(length));
    if (body.kind == Kind::kBody) length += body.length;
  }
  if (length == bytes.size() || NextSysExPiece(true, bytes.subspan(length)).kind != Kind::kEnd) {
    return 0;
  }
  ++length;
  if (length <= m_limit) {
    handler(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length)));
  } else {
    ++m_dropped;
  }
  return length;
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
