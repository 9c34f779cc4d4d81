#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "midi/midi_out_port.h"
#include "tests/midi/fake_fixture.h"

namespace tarn::test {
namespace {

const Calls kSendCalls{"midiOutPrepareHeader", "midiOutLongMsg", "midiOutUnprepareHeader"};

MIDIHDR HeaderFor(std::vector<uint8_t>& message) {
  MIDIHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(message.data());
  header.dwBufferLength = static_cast<DWORD>(message.size());
  return header;
}

using MidiOutPortTest = FakePlatformTest;

TEST_F(MidiOutPortTest, OpenAndCloseFollowTheIndex) {
  CMidiOutPort port;
  EXPECT_EQ(port.Open(2), 1);
  EXPECT_EQ(fake.outputOpenFlags, CALLBACK_NULL);
  fake.ClearCalls();
  EXPECT_EQ(port.Open(2), 1);
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_EQ(port.Open(3), 1);
  EXPECT_EQ(fake.Calls(), (Calls{"midiOutClose", "midiOutOpen 3"}));
  EXPECT_EQ(port.DeviceIndex(), 3);
  fake.ClearCalls();
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.Close(), 0);
  EXPECT_EQ(fake.Calls(), (Calls{"midiOutClose"}));
}

TEST_F(MidiOutPortTest, FailedOpenLeavesThePortClosedWithTheIndexKept) {
  CMidiOutPort port;
  fake.Script("midiOutOpen", {MMSYSERR_ALLOCATED});
  EXPECT_EQ(port.Open(5), 0);
  EXPECT_EQ(port.DeviceIndex(), 5);
  EXPECT_EQ(port.Close(), 0);
  std::vector<uint8_t> message = SysEx(6);
  MIDIHDR header = HeaderFor(message);
  EXPECT_EQ(port.SendLong(&header), 0);
}

TEST_F(MidiOutPortTest, IndexMinusOneReachesThePlatformUnchanged) {
  CMidiOutPort port;
  port.Open(-1);
  EXPECT_EQ(fake.Calls(), (Calls{"midiOutOpen 4294967295"}));
}

TEST_F(MidiOutPortTest, SendOnAClosedPortLeavesTheHeaderUntouched) {
  CMidiOutPort port;
  std::vector<uint8_t> message = SysEx(6);
  MIDIHDR header = HeaderFor(message);
  const MIDIHDR before = header;
  EXPECT_EQ(port.SendLong(&header), 0);
  EXPECT_EQ(std::memcmp(&before, &header, sizeof header), 0);
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(MidiOutPortTest, SendReturnsOnlyOnceDoneAndUnprepared) {
  CMidiOutPort port;
  port.Open(0);
  fake.ClearCalls();
  fake.completion = Completion::kAfterSleeps;
  fake.completeAfterSleeps = 5;
  std::vector<uint8_t> message = SysEx(100);
  MIDIHDR header = HeaderFor(message);
  EXPECT_EQ(port.SendLong(&header), 1);
  EXPECT_EQ(fake.sleeps, 5);
  EXPECT_EQ(fake.Calls(), kSendCalls);
  EXPECT_TRUE(header.dwFlags & MHDR_DONE);
  EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
  EXPECT_EQ(fake.sent, std::vector<std::vector<uint8_t>>{message});
}

TEST_F(MidiOutPortTest, RefusedSendsReturnZeroAndLeaveNoPreparedHeader) {
  struct Case {
    std::string step;
    Calls calls;
  };
  for (const Case& c : {Case{"midiOutPrepareHeader", {"midiOutPrepareHeader"}},
                        Case{"midiOutLongMsg", kSendCalls}}) {
    SCOPED_TRACE(c.step);
    fake.Clear();
    CMidiOutPort port;
    port.Open(0);
    fake.ClearCalls();
    fake.Script(c.step, {MMSYSERR_ERROR});
    std::vector<uint8_t> message = SysEx(20);
    MIDIHDR header = HeaderFor(message);
    EXPECT_EQ(port.SendLong(&header), 0);
    EXPECT_EQ(fake.Calls(), c.calls);
    EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
  }
}

// An unplugged device never reports the send done: the wait ends, the send is reset and
// the header unprepared, so the caller can report the failure.
TEST_F(MidiOutPortTest, CompletionWaitIsBounded) {
  CMidiOutPort port;
  port.SetSendTimeout(std::chrono::milliseconds(30));
  port.Open(0);
  fake.ClearCalls();
  fake.completion = Completion::kNever;
  std::vector<uint8_t> message = SysEx(10);
  MIDIHDR header = HeaderFor(message);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.SendLong(&header), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(fake.Calls(), (Calls{"midiOutPrepareHeader", "midiOutLongMsg", "midiOutReset",
                                 "midiOutUnprepareHeader"}));
  EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
}

// The bound grows with the message: a long message's own wire time is not a failure.
TEST_F(MidiOutPortTest, CompletionWaitAllowsForTheWireTime) {
  CMidiOutPort port;
  port.SetSendTimeout(std::chrono::milliseconds(0));
  port.Open(0);
  fake.completion = Completion::kFromThread;
  fake.completeAfterMs = 100;
  std::vector<uint8_t> message = SysEx(3125);  // one second on the wire
  MIDIHDR header = HeaderFor(message);
  EXPECT_EQ(port.SendLong(&header), 1);
}

TEST_F(MidiOutPortTest, SendsFromTwoThreadsAndCloseWaitsForThem) {
  CMidiOutPort port;
  port.Open(0);
  fake.completion = Completion::kFromThread;
  fake.completeAfterMs = 20;
  std::vector<uint8_t> first = SysEx(10);
  std::vector<uint8_t> second = SysEx(20);
  MIDIHDR firstHeader = HeaderFor(first);
  MIDIHDR secondHeader = HeaderFor(second);
  int32_t firstResult = -1;
  int32_t secondResult = -1;
  std::thread worker([&] { firstResult = port.SendLong(&firstHeader); });
  std::thread timer([&] { secondResult = port.SendLong(&secondHeader); });
  // Close once both sends are under way.
  const auto started = [&] {
    const Calls calls = fake.Calls();
    return std::count(calls.begin(), calls.end(), "midiOutLongMsg") == 2;
  };
  while (!started())
    std::this_thread::yield();
  EXPECT_EQ(port.Close(), 1);
  worker.join();
  timer.join();
  EXPECT_EQ(firstResult, 1);
  EXPECT_EQ(secondResult, 1);
  // The close came after both sends had finished with their headers.
  const Calls calls = fake.Calls();
  EXPECT_EQ(calls.back(), "midiOutClose");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "midiOutUnprepareHeader"), 2);
}

}  // namespace
}  // namespace tarn::test
