#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "midi/midi_in_port.h"
#include "tests/midi/fake_fixture.h"

namespace tarn::test {
namespace {

const Calls kStartCalls{"midiInOpen 0", "midiInReset", "midiInPrepareHeader", "midiInAddBuffer",
                        "midiInStart"};
const Calls kStopCalls{"midiInStop", "midiInReset", "midiInUnprepareHeader", "midiInClose"};
const Calls kHandBack{"midiInPrepareHeader", "midiInAddBuffer"};

std::vector<std::vector<uint8_t>> Drain(CMidiInPort& port) {
  std::vector<std::vector<uint8_t>> entries;
  for (auto entry = port.PeekSysEx(); !entry.empty(); entry = port.PeekSysEx()) {
    entries.emplace_back(entry.begin(), entry.end());
    port.PopSysEx();
  }
  return entries;
}

using MidiInPortTest = FakePlatformTest;

TEST_F(MidiInPortTest, StartOpensTheIndexAndQueuesOneBuffer) {
  CMidiInPort port;
  port.DeviceIndex = 3;
  ASSERT_EQ(port.Start(), 1);
  EXPECT_EQ(fake.Calls(), (Calls{"midiInOpen 3", "midiInReset", "midiInPrepareHeader",
                                 "midiInAddBuffer", "midiInStart"}));
  EXPECT_EQ(fake.inputOpenFlags, CALLBACK_FUNCTION);
  EXPECT_EQ(fake.inputInstance, reinterpret_cast<DWORD_PTR>(&port));
  ASSERT_EQ(fake.queued.size(), 1u);
  EXPECT_EQ(fake.queued[0]->dwBufferLength, CMidiInPort::kBufferSize);
}

TEST_F(MidiInPortTest, IndexMinusOneReachesThePlatformUnchanged) {
  CMidiInPort port;
  port.DeviceIndex = -1;
  fake.Script("midiInOpen", {MMSYSERR_BADDEVICEID});
  EXPECT_EQ(port.Start(), 0);
  EXPECT_EQ(fake.Calls(), (Calls{"midiInOpen 4294967295"}));
}

TEST_F(MidiInPortTest, StartOnAStartedPortOpensNothingEvenForAnotherIndex) {
  CMidiInPort port;
  ASSERT_EQ(port.Start(), 1);
  fake.ClearCalls();
  port.DeviceIndex = 7;
  EXPECT_EQ(port.Start(), 1);
  EXPECT_TRUE(fake.Calls().empty());
}

// A failing step ends Start with 0, skips the later steps and closes what was opened.
TEST_F(MidiInPortTest, FailingStartStepIsCleanedUp) {
  struct Case {
    std::string step;
    Calls calls;
    int32_t closeResult;  // 1 once an open has succeeded
  };
  auto upTo = [](size_t steps) {
    Calls calls(kStartCalls.begin(), kStartCalls.begin() + steps);
    if (steps > 1) calls.insert(calls.end(), kStopCalls.begin(), kStopCalls.end());
    return calls;
  };
  const std::vector<Case> cases{{"midiInOpen", upTo(1), 0},
                                {"midiInReset", upTo(2), 1},
                                {"midiInPrepareHeader", upTo(3), 1},
                                {"midiInAddBuffer", upTo(4), 1},
                                {"midiInStart", upTo(5), 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    fake.Clear();
    CMidiInPort port;
    fake.Script(c.step, {MMSYSERR_ERROR});
    EXPECT_EQ(port.Start(), 0);
    EXPECT_EQ(fake.Calls(), c.calls);
    EXPECT_FALSE(fake.InputOpen());
    EXPECT_EQ(fake.QueuedInputs(), 0u);
    // Nothing is left to stop or close, and the next Start opens afresh.
    fake.ClearCalls();
    EXPECT_EQ(port.Stop(), 0);
    EXPECT_EQ(port.Close(), c.closeResult);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(port.Start(), 1);
    EXPECT_EQ(fake.Calls(), kStartCalls);
  }
}

TEST_F(MidiInPortTest, CloseTellsWhetherThePortWasEverOpened) {
  CMidiInPort never;
  EXPECT_EQ(never.Close(), 0);
  EXPECT_TRUE(fake.Calls().empty());

  CMidiInPort failedOpen;
  fake.Script("midiInOpen", {MMSYSERR_ALLOCATED});
  failedOpen.Start();
  EXPECT_EQ(failedOpen.Close(), 0);

  CMidiInPort started;
  started.Start();
  fake.ClearCalls();
  EXPECT_EQ(started.Close(), 1);
  EXPECT_EQ(fake.Calls(), kStopCalls);
  fake.ClearCalls();
  EXPECT_EQ(started.Close(), 1);  // stopped: still 1, and nothing more is called
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(MidiInPortTest, StopRunsItsStepsInOrderAndOnlyOnAStartedPort) {
  CMidiInPort port;
  EXPECT_EQ(port.Stop(), 0);
  EXPECT_TRUE(fake.Calls().empty());
  port.Start();
  fake.ClearCalls();
  EXPECT_EQ(port.Stop(), 0);
  EXPECT_EQ(fake.Calls(), kStopCalls);
  EXPECT_FALSE(fake.InputOpen());
  fake.ClearCalls();
  EXPECT_EQ(port.Stop(), 0);
  EXPECT_TRUE(fake.Calls().empty());
}

// A failing stop step skips the later ones; the buffer stays allocated while the platform may
// still hold it, and the close is retried by the next Start (or by the destructor).
TEST_F(MidiInPortTest, FailingStopStepKeepsTheBufferAndIsRetried) {
  for (size_t failing = 0; failing < kStopCalls.size(); ++failing) {
    const std::string step = kStopCalls[failing];
    SCOPED_TRACE(step);
    fake.Clear();
    auto port = std::make_unique<CMidiInPort>();
    port->Start();
    fake.ClearCalls();
    fake.Script(step, {MMSYSERR_ERROR});
    EXPECT_EQ(port->Stop(), 0);
    EXPECT_EQ(fake.Calls(), Calls(kStopCalls.begin(), kStopCalls.begin() + failing + 1));
    EXPECT_TRUE(fake.InputOpen());
    // Whatever the platform still holds is still valid memory: a late message lands in it
    // (AddressSanitizer reports it otherwise) and the buffer is not handed back.
    fake.ClearCalls();
    if (fake.QueuedInputs() > 0) {
      EXPECT_TRUE(fake.DeliverLong(SysEx(5)));
      EXPECT_TRUE(fake.Calls().empty());
    }
    port.reset();
    EXPECT_EQ(fake.Calls(), kStopCalls);
    EXPECT_FALSE(fake.InputOpen());
  }
}

TEST_F(MidiInPortTest, StartAfterAFailedStopClosesTheOldDeviceFirst) {
  CMidiInPort port;
  port.Start();
  fake.Script("midiInClose", {MIDIERR_STILLPLAYING});
  port.Stop();
  fake.ClearCalls();
  EXPECT_EQ(port.Start(), 1);
  Calls expected = kStopCalls;
  expected.insert(expected.end(), kStartCalls.begin(), kStartCalls.end());
  EXPECT_EQ(fake.Calls(), expected);
}

TEST_F(MidiInPortTest, EveryReturnedBufferBecomesOneEntryInArrivalOrder) {
  CMidiInPort port;
  port.Start();
  const std::vector<std::vector<uint8_t>> messages{SysEx(6), SysEx(15), SysEx(3)};
  for (const auto& message : messages)
    ASSERT_TRUE(fake.DeliverLong(message));
  EXPECT_EQ(Drain(port), messages);
  EXPECT_TRUE(port.PeekSysEx().empty());
  EXPECT_EQ(port.PopSysEx(), 0);  // on an empty queue too
}

TEST_F(MidiInPortTest, MessagesLongerThanTheBufferArriveAsConsecutiveEntries) {
  struct Case {
    size_t length;
    std::vector<size_t> entries;
  };
  for (const Case& c : {Case{8191, {8191}}, Case{8192, {8192}}, Case{8193, {8192, 1}},
                        Case{20000, {8192, 8192, 3616}}}) {
    SCOPED_TRACE(c.length);
    CMidiInPort port;
    port.Start();
    const auto message = SysEx(c.length);
    ASSERT_TRUE(fake.DeliverLong(message));
    std::vector<size_t> lengths;
    std::vector<uint8_t> joined;
    for (const auto& entry : Drain(port)) {
      lengths.push_back(entry.size());
      joined.insert(joined.end(), entry.begin(), entry.end());
    }
    EXPECT_EQ(lengths, c.entries);
    EXPECT_EQ(joined, message);
  }
}

TEST_F(MidiInPortTest, BuffersThatAreNotDoneOrEmptyMakeNoEntryAndStayWithThePort) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool done;
  };
  for (const Case& c : {Case{"empty", {}, true}, Case{"not done", {0xF0, 0x01, 0xF7}, false}}) {
    SCOPED_TRACE(c.name);
    fake.Clear();
    CMidiInPort port;
    port.Start();
    fake.ClearCalls();
    ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, c.bytes, c.done));
    EXPECT_TRUE(port.PeekSysEx().empty());
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(fake.QueuedInputs(), 0u);
  }
}

TEST_F(MidiInPortTest, ShortMessagesMakeNoEntry) {
  CMidiInPort port;
  port.Start();
  fake.ClearCalls();
  fake.DeliverShort(0x7F4090);  // note on
  fake.DeliverShort(0x05C0);    // program change
  EXPECT_TRUE(port.PeekSysEx().empty());
  EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(MidiInPortTest, BrokenMessageIsDroppedButItsBufferGoesBack) {
  CMidiInPort port;
  port.Start();
  fake.ClearCalls();
  const std::vector<uint8_t> broken{0xF0, 0x52, 0x00};
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGERROR, broken));
  EXPECT_TRUE(port.PeekSysEx().empty());
  EXPECT_EQ(fake.Calls(), kHandBack);
  // Still listening.
  ASSERT_TRUE(fake.DeliverLong(SysEx(7)));
  EXPECT_EQ(Drain(port), std::vector<std::vector<uint8_t>>{SysEx(7)});
}

TEST_F(MidiInPortTest, EntriesOutliveStopAndTheDestructorFreesThem) {
  auto port = std::make_unique<CMidiInPort>();
  port->Start();
  fake.DeliverLong(SysEx(9));
  fake.DeliverLong(SysEx(10));
  port->Stop();
  EXPECT_EQ(port->PeekSysEx().size(), 9u);
  port->PopSysEx();
  EXPECT_EQ(port->PeekSysEx().size(), 10u);
  // The remaining entry goes with the port (LeakSanitizer checks).
  port.reset();
}

TEST_F(MidiInPortTest, NoBufferGoesBackToADeviceBeingStopped) {
  CMidiInPort port;
  port.Start();
  fake.ClearCalls();
  // A message that completes while the device is being stopped is kept, but its buffer is
  // not queued again, so the reset finds nothing and the close succeeds.
  fake.During("midiInStop", [&] { fake.DeliverLong(SysEx(4)); });
  port.Stop();
  EXPECT_EQ(fake.Calls(), kStopCalls);
  EXPECT_FALSE(fake.InputOpen());
  EXPECT_EQ(Drain(port), std::vector<std::vector<uint8_t>>{SysEx(4)});
}

TEST_F(MidiInPortTest, TheQueueIsSafeBetweenTheCallbackAndTheDrainingThread) {
  CMidiInPort port;
  port.Start();
  constexpr int kMessages = 500;
  std::thread platform([&] {
    for (int i = 0; i < kMessages; ++i)
      fake.DeliverLong(SysEx(5 + i % 50));
  });
  std::vector<size_t> lengths;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (lengths.size() < kMessages && std::chrono::steady_clock::now() < deadline) {
    const auto entry = port.PeekSysEx();
    if (entry.empty()) {
      std::this_thread::yield();
      continue;
    }
    EXPECT_EQ(entry.front(), 0xF0);
    EXPECT_EQ(entry.back(), 0xF7);
    lengths.push_back(entry.size());
    port.PopSysEx();
  }
  platform.join();
  ASSERT_EQ(lengths.size(), size_t{kMessages});
  for (int i = 0; i < kMessages; ++i)
    EXPECT_EQ(lengths[i], size_t(5 + i % 50));
}

TEST_F(MidiInPortTest, DeviceNamesAreBoundedCopiesOfTheProductNames) {
  fake.inputNames = {"DAXO Tarn Series", std::string(31, 'a'), std::string(32, 'b')};
  EXPECT_EQ(CMidiInPort::GetDeviceCount(), 3);
  struct Case {
    int32_t index;
    int32_t result;
    std::string name;
  };
  for (const Case& c : {Case{0, 1, "DAXO Tarn Series"}, Case{1, 1, std::string(31, 'a')},
                        Case{2, 1, std::string(32, 'b')}, Case{3, 0, ""}}) {
    SCOPED_TRACE(c.index);
    char name[64];
    std::memset(name, 'X', sizeof name);
    EXPECT_EQ(CMidiInPort::GetDeviceName(c.index, name), c.result);
    EXPECT_EQ(std::string(name), c.name);
    for (size_t i = CMidiInPort::kNameCapacity; i < sizeof name; ++i)
      ASSERT_EQ(name[i], 'X');
  }
}

}  // namespace
}  // namespace tarn::test
