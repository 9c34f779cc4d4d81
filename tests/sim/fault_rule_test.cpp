// Faults in the form a command line gives them.
#include <gtest/gtest.h>

#include "sim/fault_rule.h"

namespace tarn::sim {
namespace {

TEST(ParseFaultRule, ReadsEveryActionAndOption) {
  struct Case {
    const char* text;
    FaultAction action;
    std::optional<RequestKind> kind;
    int32_t skip;
    int32_t count;
    uint8_t status;
    int64_t delayMs;
    std::optional<uint32_t> readsOver = std::nullopt;
    std::optional<uint32_t> address = std::nullopt;
    uint32_t cutAt = 0;
  };
  const Case cases[] = {
      {"drop", FaultAction::kDropAnswer, std::nullopt, 0, 1, 0, 0},
      {"drop,kind=erase,count=3", FaultAction::kDropAnswer, RequestKind::kEraseFlash, 0, 3, 0, 0},
      {"ignore,skip=99,count=all", FaultAction::kIgnore, std::nullopt, 99, kForever, 0, 0},
      {"status=1,kind=write,count=32", FaultAction::kStatus, RequestKind::kWriteBlock, 0, 32, 1, 0},
      {"status=11,kind=begin", FaultAction::kStatus, RequestKind::kBeginUpdate, 0, 1, 11, 0},
      {"delay=1050,kind=write,skip=5", FaultAction::kDelay, RequestKind::kWriteBlock, 5, 1, 0,
       1050},
      {"corrupt-crc,count=2", FaultAction::kCorruptCrc, RequestKind::kReadFlash, 0, 2, 0, 0},
      {"drop,kind=identity", FaultAction::kDropAnswer, RequestKind::kIdentityRequest, 0, 1, 0, 0},
      {"delay=60000", FaultAction::kDelay, std::nullopt, 0, 1, 0, 60000},
      {"duplicate,kind=read,skip=2", FaultAction::kDuplicate, RequestKind::kReadFlash, 2, 1, 0, 0},
      {"lie,count=all", FaultAction::kLie, RequestKind::kWriteBlock, 0, kForever, 0, 0},
      {"lie,kind=write", FaultAction::kLie, RequestKind::kWriteBlock, 0, 1, 0, 0},
      {"refuse-read=0", FaultAction::kRefuseRead, RequestKind::kReadFlash, 0, 1, 0, 0, 0},
      {"short-read=16383,count=all", FaultAction::kShortRead, RequestKind::kReadFlash, 0, kForever,
       0, 0, 16383},
      {"late=7000,kind=write,skip=40", FaultAction::kLate, RequestKind::kWriteBlock, 40, 1, 0,
       7000},
      {"duplicate=30,kind=write", FaultAction::kDuplicate, RequestKind::kWriteBlock, 0, 1, 0, 30},
      {"store-wrong,skip=10", FaultAction::kStoreWrong, RequestKind::kWriteBlock, 10, 1, 0, 0},
      {"lie,at=0x41000", FaultAction::kLie, RequestKind::kWriteBlock, 0, 1, 0, 0, std::nullopt,
       0x41000},
      {"status=1,kind=erase,at=8192", FaultAction::kStatus, RequestKind::kEraseFlash, 0, 1, 1, 0,
       std::nullopt, 8192},
      {"ignore,over=4,skip=3,count=all", FaultAction::kIgnore, RequestKind::kReadFlash, 3, kForever,
       0, 0, 4},
      {"done,kind=finish", FaultAction::kDone, RequestKind::kFinishUpdate, 0, 1, 0, 0},
      {"cut=14,kind=read", FaultAction::kCut, RequestKind::kReadFlash, 0, 1, 0, 0, std::nullopt,
       std::nullopt, 14},
      {"stale,kind=identity", FaultAction::kStale, RequestKind::kIdentityRequest, 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto rule = ParseFaultRule(c.text, &error);
    ASSERT_TRUE(rule) << c.text << ": " << error;
    EXPECT_EQ(rule->action, c.action) << c.text;
    EXPECT_EQ(rule->kind, c.kind) << c.text;
    EXPECT_EQ(rule->skip, c.skip) << c.text;
    EXPECT_EQ(rule->count, c.count) << c.text;
    EXPECT_EQ(rule->status, c.status) << c.text;
    EXPECT_EQ(rule->delay.count(), c.delayMs) << c.text;
    EXPECT_EQ(rule->address, c.address) << c.text;
    EXPECT_EQ(rule->readsOver, c.readsOver) << c.text;
    EXPECT_EQ(rule->cutAt, c.cutAt) << c.text;
  }
}

TEST(ParseFaultRule, RefusesWhatItCannotReadAndSaysWhy) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {"", "unknown fault action"},
      {"explode", "unknown fault action"},
      {"drop=3", "unknown fault action"},
      {"status=128", "unknown fault action"},
      {"status=x", "unknown fault action"},
      {"delay=-1", "unknown fault action"},
      {"delay=60001", "unknown fault action"},
      {"lie=1", "unknown fault action"},
      {"short-read", "unknown fault action"},
      {"refuse-read=16384", "unknown fault action"},
      {"lie,kind=read", "acts on write requests only"},
      {"store-wrong,kind=read", "acts on write requests only"},
      {"store-wrong=1", "unknown fault action"},
      {"late", "unknown fault action"},
      {"duplicate=60001", "unknown fault action"},
      {"short-read=4,kind=write", "acts on read requests only"},
      {"corrupt-crc,kind=erase", "acts on read requests only"},
      {"drop,kind=host-status", "unknown request kind"},
      {"drop,kind=bogus", "unknown request kind"},
      {"drop,skip=-1", "skip needs a count"},
      {"drop,count=0", "count needs a number"},
      {"drop,count=5x", "count needs a number"},
      {"drop,when=now", "unknown fault option"},
      {"drop,at=0x", "at needs an address"},
      {"drop,at=4294967296", "at needs an address"},
      {"drop,over=x", "over needs a byte count"},
      {"status=1,over=4,kind=write", "over acts on read requests only"},
      {"lie,over=4", "cannot take over=N"},
      {"cut=0", "unknown fault action"},
      {"done=1", "unknown fault action"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseFaultRule(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace tarn::sim
