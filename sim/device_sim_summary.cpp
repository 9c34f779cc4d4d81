#include "sim/device_sim_summary.h"

#include <algorithm>
#include <cstdio>

namespace tarn::sim {

std::string WriteRequestSummary(std::span<const ReceivedMessage> received) {
  const auto isWrite = [](const ReceivedMessage& m) { return m.kind == RequestKind::kWriteBlock; };
  const auto first = std::find_if(received.begin(), received.end(), isWrite);
  if (first == received.end()) return "write requests: 0";
  const auto all = std::count_if(received.begin(), received.end(), isWrite);
  const auto atFirst = std::count_if(first, received.end(), [&](const ReceivedMessage& m) {
    return isWrite(m) && m.address == first->address;
  });
  char line[128];
  std::snprintf(line, sizeof line, "write requests: %td, %td of them for the first block (0x%08X)",
                all, atFirst, static_cast<unsigned>(first->address));
  return line;
}

}  // namespace tarn::sim
