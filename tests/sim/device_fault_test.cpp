// Fault injection, link timing, unsolicited messages and the output's thread rules.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/device_status.h"
#include "sysex/codec.h"
#include "tests/sim/device_harness.h"

namespace tarn::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

TEST(DeviceFaults, DroppedAnswersAreCarriedOutButNeverArrive) {
  DeviceRig rig;
  const int32_t rule = rig.device.AddFault(FaultRule::DropAnswers(2, RequestKind::kWriteBlock));
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(status::kOk));  // another kind passes
  EXPECT_FALSE(rig.Exchange(MakeWrite(0x1000, Pattern(64, 1)), 100ms));
  EXPECT_FALSE(rig.Exchange(MakeWrite(0x2000, Pattern(64, 2)), 100ms));
  EXPECT_EQ(rig.Exchange(MakeWrite(0x3000, Pattern(64, 3))), Status(status::kOk));
  EXPECT_EQ(rig.device.FaultHits(rule), 2);
  EXPECT_EQ(rig.device.FlashBytes(0x1000, 64), Pattern(64, 1));
  EXPECT_EQ(rig.device.FlashBytes(0x2000, 64), Pattern(64, 2));
}

TEST(DeviceFaults, DropWithoutKindTakesTheNextAnswerOfAnyKind) {
  DeviceRig rig;
  rig.device.AddFault(FaultRule::DropAnswers(1));
  EXPECT_FALSE(rig.Exchange(MakeIdentityRequest(), 100ms));
  EXPECT_TRUE(rig.Exchange(MakeIdentityRequest()));
}

TEST(DeviceFaults, StatusFaultRefusesWithoutCarryingOut) {
  DeviceRig rig;
  ASSERT_EQ(rig.Exchange(MakeWrite(0x5000, Pattern(32, 1))), Status(status::kOk));
  const int32_t rule =
      rig.device.AddFault(FaultRule::AnswerWithStatus(RequestKind::kEraseFlash, 7, 2));
  EXPECT_EQ(rig.Exchange(MakeErase(0x5000, 0x1000)), Status(7));
  EXPECT_EQ(rig.Exchange(MakeErase(0x5000, 0x1000)), Status(7));
  EXPECT_EQ(rig.device.FlashBytes(0x5000, 32), Pattern(32, 1));
  EXPECT_EQ(rig.Exchange(MakeErase(0x5000, 0x1000)), Status(status::kOk));
  EXPECT_EQ(rig.device.FlashBytes(0x5000, 32), Message(32, 0xFF));
  EXPECT_EQ(rig.device.FaultHits(rule), 2);
}

TEST(DeviceFaults, SkipLetsTheFirstMatchingRequestsThrough) {
  DeviceRig rig;
  FaultRule rule = FaultRule::AnswerWithStatus(RequestKind::kBeginUpdate, 1, 1);
  rule.skip = 2;
  rig.device.AddFault(rule);
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(0));
  EXPECT_EQ(rig.Exchange(MakeFinish()), Status(0));  // other kinds are not counted
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(0));
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(1));
  EXPECT_EQ(rig.Exchange(MakeBegin()), Status(0));
}

TEST(DeviceFaults, SilentFromTheNthRequestOnIgnoresEverythingAfter) {
  DeviceRig rig;
  rig.device.AddFault(FaultRule::SilentFrom(3));
  EXPECT_TRUE(rig.Exchange(MakeIdentityRequest()));
  EXPECT_TRUE(rig.Exchange(MakeBegin()));
  EXPECT_FALSE(rig.Exchange(MakeWrite(0x1000, Pattern(16, 1)), 100ms));
  EXPECT_FALSE(rig.Exchange(MakeIdentityRequest(), 100ms));
  // A hung device does not carry the request out either; the log still has it.
  EXPECT_EQ(rig.device.FlashBytes(0x1000, 16), Message(16, 0xFF));
  EXPECT_EQ(rig.device.Count(RequestKind::kIdentityRequest), 2);
  rig.device.ClearFaults();
  EXPECT_TRUE(rig.Exchange(MakeIdentityRequest()));
}

TEST(DeviceFaults, CorruptReadRepliesFailTheirChecksumOnce) {
  DeviceRig rig;
  rig.device.AddFault(FaultRule::CorruptReadReplies(1));
  const auto bad = rig.Exchange(MakeRead(0, 4));
  const auto good = rig.Exchange(MakeRead(0, 4));
  ASSERT_TRUE(bad && good);
  const auto badPayload = LocateReadFlashPayload(*bad);
  const auto goodPayload = LocateReadFlashPayload(*good);
  ASSERT_TRUE(badPayload && goodPayload);
  const Message erased(4, 0xFF);
  const uint32_t crcOfErased = Crc32Raw(erased.data(), 4);
  EXPECT_EQ(goodPayload->expectedCrc, crcOfErased);
  EXPECT_NE(badPayload->expectedCrc, crcOfErased);
}

TEST(DeviceFaults, DelayedAnswerComesLateAndHoldsBackLaterAnswers) {
  DeviceRig rig;
  rig.device.AddFault(FaultRule::DelayAnswer(RequestKind::kWriteBlock, 1, 200ms));
  EXPECT_TRUE(rig.Exchange(MakeWrite(0x1000, Pattern(16, 1))));
  const auto sent = Clock::now();
  rig.device.Receive(MakeWrite(0x2000, Pattern(16, 2)));
  rig.device.Receive(MakeBegin());
  ASSERT_TRUE(rig.received.WaitFor(3));
  EXPECT_GE(rig.received.TimeOf(1) - sent, 200ms);
  // One wire: the begin answer does not overtake the delayed one.
  EXPECT_EQ(rig.received.At(2), Status(0));
  EXPECT_GE(rig.received.TimeOf(2), rig.received.TimeOf(1));
  EXPECT_EQ(rig.device.FlashBytes(0x2000, 16), Pattern(16, 2));
}

TEST(DeviceLink, LatencyDelaysEveryAnswer) {
  DeviceConfig config;
  config.latency = 50ms;
  DeviceRig rig(config);
  const auto sent = Clock::now();
  ASSERT_TRUE(rig.Exchange(MakeIdentityRequest()));
  EXPECT_GE(rig.received.TimeOf(0) - sent, 50ms);
  rig.device.SetLatency(0ms);
  const auto again = Clock::now();
  ASSERT_TRUE(rig.Exchange(MakeIdentityRequest()));
  EXPECT_LT(rig.received.TimeOf(1) - again, 50ms);
}

TEST(DeviceLink, MessagesTakeTheirSizeOverTheRateOneAfterAnother) {
  DeviceConfig config;
  config.linkRate = 47000;  // a full block of 4700 bytes takes 100 ms
  DeviceRig rig(config);
  const Message block = Pattern(kBlockSize, 1);
  const auto sent = Clock::now();
  rig.device.Receive(MakeWrite(0x1000, block));
  rig.device.Receive(MakeWrite(0x2000, block));
  ASSERT_TRUE(rig.received.WaitFor(2));
  EXPECT_GE(rig.received.TimeOf(0) - sent, 100ms);
  EXPECT_GE(rig.received.TimeOf(1) - sent, 200ms);
  const auto log = rig.device.Received();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_GE(log[1].at - log[0].at, 100ms);
}

TEST(DeviceUnsolicited, SendsEachKindAsTheHostExpectsIt) {
  struct Case {
    Unsolicited kind;
    Message bytes;
  };
  const Case cases[] = {
      {Unsolicited::kIdentityRequest, {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}},
      {Unsolicited::kRequest01, {0xF0, 0x52, 0x00, 0x6E, 0x01, 0xF7}},
      {Unsolicited::kRequest04, {0xF0, 0x52, 0x00, 0x6E, 0x04, 0xF7}},
      {Unsolicited::kRequest05, {0xF0, 0x52, 0x00, 0x6E, 0x05, 0xF7}},
      {Unsolicited::kNotice03, {0xF0, 0x52, 0x00, 0x6E, 0x03, 0xF7}},
      {Unsolicited::kUnknownCommand, {0xF0, 0x52, 0x00, 0x6E, 0x06, 0xF7}},
      {Unsolicited::kUnknownGeneralInformation, {0xF0, 0x7E, 0x00, 0x06, 0x03, 0xF7}},
      {Unsolicited::kNonSysEx, {0x90, 0x3C, 0x64}},
  };
  DeviceRig rig;
  for (size_t i = 0; i < std::size(cases); ++i) {
    rig.device.SendUnsolicited(cases[i].kind);
    ASSERT_TRUE(rig.received.WaitFor(i + 1));
    EXPECT_EQ(rig.received.At(i), cases[i].bytes) << UnsolicitedName(cases[i].kind);
    EXPECT_EQ(UnsolicitedFromName(UnsolicitedName(cases[i].kind)), cases[i].kind);
  }
  rig.device.SendRaw(Message{0xF8});
  ASSERT_TRUE(rig.received.WaitFor(std::size(cases) + 1));
  EXPECT_EQ(rig.received.At(std::size(cases)), Message{0xF8});
}

TEST(DeviceOutput, TheOldOutputIsNeverCalledOnceSetOutputReturned) {
  VirtualDevice device;
  std::atomic<bool> firstRetired{false};
  std::atomic<int32_t> lateCalls{0};
  std::atomic<int32_t> firstCalls{0};
  std::atomic<int32_t> secondCalls{0};
  device.SetOutput([&](std::span<const uint8_t>) {
    if (firstRetired) ++lateCalls;
    ++firstCalls;
  });
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    while (!stop)
      device.SendUnsolicited(Unsolicited::kRequest01);
  });
  while (firstCalls < 50)
    std::this_thread::yield();
  device.SetOutput([&](std::span<const uint8_t>) { ++secondCalls; });
  firstRetired = true;
  while (secondCalls < 50)
    std::this_thread::yield();
  device.SetOutput({});
  stop = true;
  sender.join();
  EXPECT_TRUE(device.WaitIdle(5s));
  EXPECT_EQ(lateCalls, 0);
}

TEST(DeviceOutput, DestroyingWithAnswersInFlightStopsAtOnce) {
  std::atomic<int32_t> calls{0};
  const auto start = Clock::now();
  {
    DeviceConfig config;
    config.latency = 10s;
    VirtualDevice device(config);
    device.SetOutput([&](std::span<const uint8_t>) { ++calls; });
    device.Receive(MakeIdentityRequest());
    device.Receive(MakeBegin());
    EXPECT_FALSE(device.WaitIdle(20ms));
  }
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tarn::sim::testing
