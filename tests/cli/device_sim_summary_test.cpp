// tarn-device-sim's line on the blocks it was asked to write.
#include <gtest/gtest.h>

#include <vector>

#include "sim/device_sim_summary.h"

namespace tarn::sim {
namespace {

ReceivedMessage Request(RequestKind kind, uint32_t address = 0) {
  return {std::chrono::nanoseconds(0), kind, address, 0, nullptr};
}

TEST(WriteRequestSummary, CountsAllWritesAndThoseForTheFirstBlock) {
  const auto write = [](uint32_t address) { return Request(RequestKind::kWriteBlock, address); };
  struct Case {
    const char* name;
    std::vector<ReceivedMessage> received;
    const char* line;
  };
  const std::vector<Case> cases{
      {"none", {}, "write requests: 0"},
      {"no write",
       {Request(RequestKind::kIdentityRequest), Request(RequestKind::kEraseFlash, 0x1000)},
       "write requests: 0"},
      {"each block once",
       {Request(RequestKind::kBeginUpdate), write(0x10000), write(0x11250), write(0x124A0)},
       "write requests: 3, 1 of them for the first block (0x00010000)"},
      // Other kinds at the same address, and later blocks, are not retries of the first.
      {"retried first block",
       {write(0x7F0000), write(0x7F0000), Request(RequestKind::kReadFlash, 0x7F0000),
        write(0x7F1250), write(0x7F0000)},
       "write requests: 4, 3 of them for the first block (0x007F0000)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WriteRequestSummary(c.received), c.line) << c.name;
}

}  // namespace
}  // namespace tarn::sim
