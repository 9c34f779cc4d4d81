// Fault injection, link timing, unsolicited messages and the output's thread rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sysex/device_status.h"
#include "tests/sim/device_harness.h"

namespace tarn::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;
namespace status = device_status;

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
  const auto badReply = UnpackReadFlashReply(*bad);
  const auto goodReply = UnpackReadFlashReply(*good);
  ASSERT_TRUE(badReply && goodReply);
  EXPECT_EQ(badReply->data, Message(4, 0xFF));
  EXPECT_FALSE(badReply->crcMatches);
  EXPECT_TRUE(goodReply->crcMatches);
}

// One answer as the host reads it: a status, the identity reply, or a read reply of `bytes`
// bytes from `address` whose checksum holds.
struct Answer {
  IncomingKind kind;
  uint8_t status = 0;
  uint32_t address = 0;
  uint32_t bytes = 0;
  size_t cutTo = 0;  // a reply cut short: its length, and nothing in it can be read
};

Answer StatusAnswer(uint8_t status) {
  return {IncomingKind::kDeviceStatus, status};
}
Answer ReadAnswer(uint32_t address, uint32_t bytes) {
  return {IncomingKind::kReadFlashReply, 0, address, bytes};
}
const Answer kIdentityAnswer{IncomingKind::kIdentityReply};
const Answer kDoneAnswer{IncomingKind::kDeviceDone};

struct FaultCase {
  const char* name;
  const char* rule;               // as --fault takes it
  std::vector<Message> requests;  // sent back to back, without waiting for answers
  std::vector<Answer> answers;    // everything that arrives, in this order
  int32_t hits;
  std::chrono::milliseconds heldBack{0};  // no answer arrives sooner after the requests left
  std::vector<std::pair<uint32_t, Message>> flash = {};  // what the flash holds afterwards
};

Message OneByteOff(Message bytes, size_t at) {
  bytes[at] ^= 0x5A;
  return bytes;
}

TEST(DeviceFaults, DuplicateLieReadLimitsAndDelayAsTheHostSeesThem) {
  constexpr uint32_t kUnaligned = 0x800;  // an erase here is refused with status 2
  const Message stored = Pattern(64, 9);  // at 0 before the rule applies
  const FaultCase cases[] = {
      {"an erase answered twice",
       "duplicate,kind=erase",
       {MakeErase(kUnaligned, 0x1000), MakeBegin()},
       {StatusAnswer(2), StatusAnswer(2), StatusAnswer(0)},
       1},
      {"two read replies twice, back to back",
       "duplicate,kind=read,count=2",
       {MakeRead(0, 4), MakeRead(0, 8), MakeRead(0, 2)},
       {ReadAnswer(0, 4), ReadAnswer(0, 4), ReadAnswer(0, 8), ReadAnswer(0, 8), ReadAnswer(0, 2)},
       2},
      {"a block answered 0 and not stored",
       "lie",
       {MakeWrite(0x1000, Pattern(64, 1)), MakeWrite(0x2000, Pattern(64, 2)), MakeRead(0x1000, 4)},
       {StatusAnswer(0), StatusAnswer(0), ReadAnswer(0x1000, 4)},
       1,
       {},
       {{0x1000, Message(64, 0xFF)}, {0x2000, Pattern(64, 2)}}},
      {"reads over the limit refused",
       "refuse-read=8,count=all",
       {MakeRead(0, 8), MakeRead(0, 9), MakeRead(0, 4), MakeRead(0, 4096)},
       {ReadAnswer(0, 8), StatusAnswer(status::kOutOfRange), ReadAnswer(0, 4),
        StatusAnswer(status::kOutOfRange)},
       2},
      {"reads within the limit are not counted",
       "short-read=8,skip=1",
       {MakeRead(0, 16), MakeRead(0, 4), MakeRead(0, 16), MakeRead(0, 16)},
       {ReadAnswer(0, 16), ReadAnswer(0, 4), ReadAnswer(0, 8), ReadAnswer(0, 16)},
       1},
      {"a block stored with one byte off, answered as stored",
       "store-wrong",
       {MakeWrite(0x1000, Pattern(64, 1)), MakeWrite(0x2000, Pattern(64, 2))},
       {StatusAnswer(0), StatusAnswer(0)},
       1,
       {},
       {{0x1000, OneByteOff(Pattern(64, 1), 32)}, {0x2000, Pattern(64, 2)}}},
      {"a late answer out of the stream lets those behind it pass",
       "late=150,kind=erase",
       {MakeErase(kUnaligned, 0x1000), MakeIdentityRequest(), MakeRead(0, 4)},
       {kIdentityAnswer, ReadAnswer(0, 4), StatusAnswer(2)},
       1},
      {"an answer and its copy later, out of the stream",
       "duplicate=150,kind=erase",
       {MakeErase(kUnaligned, 0x1000), MakeIdentityRequest()},
       {StatusAnswer(2), kIdentityAnswer, StatusAnswer(2)},
       1},
      {"a held-back answer holds back those behind it",
       "delay=150,kind=erase",
       {MakeErase(kUnaligned, 0x1000), MakeIdentityRequest(), MakeRead(0, 4)},
       {StatusAnswer(2), kIdentityAnswer, ReadAnswer(0, 4)},
       1,
       150ms},
      {"only the requests at one address",
       "status=1,kind=erase,at=0x2000",
       {MakeErase(0x1000, 0x1000), MakeErase(0x2000, 0x1000), MakeErase(0x2000, 0x1000)},
       {StatusAnswer(0), StatusAnswer(1), StatusAnswer(0)},
       1},
      {"only reads of more bytes than over",
       "status=5,over=4,count=all",
       {MakeRead(0, 4), MakeRead(0, 8), MakeRead(0, 4)},
       {ReadAnswer(0, 4), StatusAnswer(5), ReadAnswer(0, 4)},
       1},
      {"a Done in place of the answer",
       "done,kind=finish",
       {MakeFinish(), MakeFinish()},
       {kDoneAnswer, StatusAnswer(0)},
       1},
      {"an answer cut short on the wire",
       "cut=14,kind=read",
       {MakeRead(0, 4), MakeRead(0, 4)},
       {{IncomingKind::kReadFlashReply, 0, 0, 0, 15}, ReadAnswer(0, 4)},
       1},
      {"an earlier run's answers before the answer",
       "stale,kind=identity",
       {MakeIdentityRequest(), MakeIdentityRequest()},
       {StatusAnswer(0), StatusAnswer(0), kDoneAnswer, kIdentityAnswer, kIdentityAnswer},
       1},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRig rig;
    ASSERT_EQ(rig.Exchange(MakeWrite(0, stored)), Status(status::kOk));
    std::string error;
    const auto rule = ParseFaultRule(c.rule, &error);
    ASSERT_TRUE(rule) << error;
    const int32_t index = rig.device.AddFault(*rule);

    const size_t before = rig.received.Size();
    const auto sent = Clock::now();
    for (const Message& request : c.requests)
      rig.device.Receive(request);
    ASSERT_TRUE(rig.received.WaitFor(before + c.answers.size()));
    ASSERT_TRUE(rig.device.WaitIdle(5s));
    ASSERT_EQ(rig.received.Size(), before + c.answers.size());

    for (size_t i = 0; i < c.answers.size(); ++i) {
      const Answer& expected = c.answers[i];
      const Message answer = rig.received.At(before + i);
      const IncomingMessage parsed = ParseIncoming(answer);
      ASSERT_EQ(parsed.kind, expected.kind) << "answer " << i;
      EXPECT_GE(rig.received.TimeOf(before + i) - sent, c.heldBack) << "answer " << i;
      if (expected.kind == IncomingKind::kDeviceStatus) {
        EXPECT_EQ(parsed.status, expected.status) << "answer " << i;
      }
      if (expected.cutTo > 0) {
        EXPECT_EQ(answer.size(), expected.cutTo) << "answer " << i;
        EXPECT_FALSE(UnpackReadFlashReply(answer)) << "answer " << i;
      } else if (expected.kind == IncomingKind::kReadFlashReply) {
        const auto reply = UnpackReadFlashReply(answer);
        ASSERT_TRUE(reply) << "answer " << i;
        EXPECT_TRUE(reply->crcMatches) << "answer " << i;
        EXPECT_EQ(reply->data, rig.device.FlashBytes(expected.address, expected.bytes))
            << "answer " << i;
      }
    }
    EXPECT_EQ(rig.device.FaultHits(index), c.hits);
    for (const auto& [address, bytes] : c.flash) {
      EXPECT_EQ(rig.device.FlashBytes(address, static_cast<uint32_t>(bytes.size())), bytes)
          << std::hex << address;
    }
  }
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

TEST(DeviceLink, AnswerGapSpacesEvenShortAnswers) {
  DeviceConfig config;
  config.answerGap = 40ms;
  DeviceRig rig(config);
  const auto sent = Clock::now();
  for (int32_t i = 0; i < 3; ++i)
    rig.device.Receive(MakeBegin());
  ASSERT_TRUE(rig.received.WaitFor(3));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_GE(rig.received.TimeOf(i) - sent, 40ms * static_cast<int32_t>(i + 1)) << i;
  }
}

// As the host judges each one; the three requests are three different messages.
TEST(DeviceUnsolicited, SendsEachKindAsTheHostExpectsIt) {
  struct Case {
    Unsolicited kind;
    IncomingKind seenAs;
  };
  const Case cases[] = {
      {Unsolicited::kIdentityRequest, IncomingKind::kIdentityRequest},
      {Unsolicited::kRequest01, IncomingKind::kDeviceRequest},
      {Unsolicited::kRequest04, IncomingKind::kDeviceRequest},
      {Unsolicited::kRequest05, IncomingKind::kDeviceRequest},
      {Unsolicited::kNotice03, IncomingKind::kDeviceNotice},
      {Unsolicited::kUnknownCommand, IncomingKind::kUnknownMakerCommand},
      {Unsolicited::kUnknownGeneralInformation, IncomingKind::kUnknownGeneralInformation},
      {Unsolicited::kNonSysEx, IncomingKind::kIgnored},
  };
  DeviceRig rig;
  std::vector<Message> sent;
  for (size_t i = 0; i < std::size(cases); ++i) {
    rig.device.SendUnsolicited(cases[i].kind);
    ASSERT_TRUE(rig.received.WaitFor(i + 1));
    const Message message = rig.received.At(i);
    EXPECT_EQ(Classify(message), cases[i].seenAs) << UnsolicitedName(cases[i].kind);
    EXPECT_EQ(UnsolicitedFromName(UnsolicitedName(cases[i].kind)), cases[i].kind);
    EXPECT_EQ(std::find(sent.begin(), sent.end(), message), sent.end())
        << UnsolicitedName(cases[i].kind) << " sent what another kind sent";
    sent.push_back(message);
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
