#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

#include "midi/midi_in_port.h"
#include "sysex/device_messages.h"
#include "sysex/messages.h"
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

// A read reply of exactly `length` bytes (its size grows with the data it carries).
std::vector<uint8_t> ReadReplyOfLength(size_t length) {
  size_t low = 0;
  size_t high = static_cast<size_t>(kMaxLen2);
  while (low <= high) {
    const size_t raw = (low + high) / 2;
    auto message = ReadFlashReplyMessage(0x6E, std::vector<uint8_t>(raw, 0x5A));
    if (message.size() == length) return message;
    if (message.size() < length) {
      low = raw + 1;
    } else if (raw == 0) {
      break;
    } else {
      high = raw - 1;
    }
  }
  return {};
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

// The device gone under an open port is told at once; the close the port makes itself, which
// WinMM also tells with MIM_CLOSE, is not.
TEST_F(MidiInPortTest, MimCloseFromThePlatformTellsTheDeviceHasGone) {
  CMidiInPort port;
  int gone = 0;
  port.SetGone([&] { ++gone; });
  ASSERT_EQ(port.Start(), 1);
  fake.Notify(MIM_CLOSE);
  EXPECT_EQ(gone, 1);
  fake.During("midiInClose", [&] { fake.Notify(MIM_CLOSE); });
  port.Close();
  EXPECT_EQ(gone, 1);
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

// The queued buffer goes back in turn for each piece, never beyond its length.
void ReturnPieces(FakeWinmm& fake, std::span<const uint8_t> message, std::vector<size_t> cuts) {
  cuts.push_back(message.size());
  size_t at = 0;
  for (const size_t cut : cuts) {
    while (at < cut) {
      const size_t size = std::min<size_t>(cut - at, CMidiInPort::kBufferSize);
      ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, message.subspan(at, size)));
      at += size;
    }
  }
}

// A device answer, a 4698-byte message, the read reply of one block and a 16400-byte read
// reply, however the platform returns them: each reaches the queue as one entry, byte for byte.
TEST_F(MidiInPortTest, AMessageReturnedInPiecesIsOneEntry) {
  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    bool everyCut;  // else random cuts
  };
  const std::vector<Case> cases{
      {"device status", DeviceStatusMessage(0x6E, 0), true},
      {"4698 bytes", SysEx(4698), true},
      {"read reply of a block", ReadFlashReplyMessage(0x6E, std::vector<uint8_t>(kBlockSize, 0x5A)),
       true},
      {"16400-byte read reply", ReadReplyOfLength(16400), false}};
  std::mt19937 random(16);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.message.empty());
    CMidiInPort port;
    port.Start();
    std::vector<std::vector<size_t>> splits{{}};
    if (c.everyCut) {
      for (size_t cut = 1; cut < c.message.size(); ++cut)
        splits.push_back({cut});
    } else {
      for (int round = 0; round < 300; ++round) {
        std::vector<size_t> cuts;
        for (size_t count = random() % 12; count > 0; --count)
          cuts.push_back(1 + random() % (c.message.size() - 1));
        std::sort(cuts.begin(), cuts.end());
        splits.push_back(cuts);
      }
    }
    for (const auto& cuts : splits) {
      ReturnPieces(fake, c.message, cuts);
      const auto entry = port.PeekSysEx();
      ASSERT_TRUE(std::equal(entry.begin(), entry.end(), c.message.begin(), c.message.end()))
          << "cut at " << (cuts.empty() ? 0 : cuts.front()) << " and " << cuts.size() - 1
          << " more";
      port.PopSysEx();
      ASSERT_TRUE(port.PeekSysEx().empty());
    }
    EXPECT_EQ(port.DroppedSysEx(), 0u);
  }
}

// What cannot be whole never reaches the queue, not even in part, and is counted; the port
// goes on listening after it.
TEST_F(MidiInPortTest, BrokenAndOversizedMessagesAreDroppedWholeAndCounted) {
  using Bytes = std::vector<uint8_t>;
  struct Piece {
    UINT notice;
    Bytes bytes;
  };
  const Bytes oversized = SysEx(CMidiInPort::kMaxMessageLength + 1);
  std::vector<Piece> oversizedPieces;
  for (size_t at = 0; at < oversized.size(); at += CMidiInPort::kBufferSize) {
    const size_t size = std::min<size_t>(CMidiInPort::kBufferSize, oversized.size() - at);
    oversizedPieces.push_back(
        {MIM_LONGDATA, Bytes(oversized.begin() + at, oversized.begin() + at + size)});
  }
  struct Case {
    const char* name;
    std::vector<Piece> pieces;
    uint64_t dropped;
  };
  const std::vector<Case> cases{
      {"status byte inside",
       {{MIM_LONGDATA, {0xF0, 0x01}}, {MIM_LONGDATA, {0x02, 0x90, 0x40, 0xF7}}},
       1},
      {"new start before the end", {{MIM_LONGDATA, {0xF0, 0x01}}, {MIM_LONGDATA, {0xF0, 0x02}}}, 1},
      {"long error after a piece",
       {{MIM_LONGDATA, {0xF0, 0x01}}, {MIM_LONGERROR, {0x02}}, {MIM_LONGDATA, {0x03, 0xF7}}},
       1},
      {"long error alone", {{MIM_LONGERROR, {0xF0, 0x01, 0x02}}}, 1},
      {"longer than the bound", oversizedPieces, 1},
  };
  const Bytes answer = SysEx(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.Clear();
    CMidiInPort port;
    port.Start();
    fake.ClearCalls();
    for (const Piece& piece : c.pieces)
      ASSERT_TRUE(fake.ReturnInput(piece.notice, piece.bytes));
    EXPECT_TRUE(port.PeekSysEx().empty());
    EXPECT_EQ(port.DroppedSysEx(), c.dropped);
    // Every buffer went back.
    EXPECT_EQ(fake.Calls().size(), 2 * c.pieces.size());
    EXPECT_EQ(fake.QueuedInputs(), 1u);
    ASSERT_TRUE(fake.DeliverLong(answer));
    EXPECT_EQ(Drain(port), std::vector<Bytes>{answer});
  }
}

TEST_F(MidiInPortTest, TheBoundItselfIsKept) {
  CMidiInPort port;
  port.Start();
  const auto message = SysEx(CMidiInPort::kMaxMessageLength);
  ASSERT_TRUE(fake.DeliverLong(message));
  EXPECT_EQ(Drain(port), std::vector<std::vector<uint8_t>>{message});
}

TEST_F(MidiInPortTest, StopCutsOffAMessageInProgress) {
  CMidiInPort port;
  port.Start();
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, std::vector<uint8_t>{0xF0, 0x01}));
  port.Stop();
  EXPECT_EQ(port.DroppedSysEx(), 1u);
  port.Start();
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, std::vector<uint8_t>{0x02, 0xF7}));
  EXPECT_TRUE(port.PeekSysEx().empty());
}

// The owner hears of whole messages only, once per returned buffer that completed any, and
// never from a device being stopped.
TEST_F(MidiInPortTest, ArrivalIsAnnouncedForWholeMessagesOnly) {
  CMidiInPort port;
  int arrivals = 0;
  port.SetArrival([&] { ++arrivals; });
  port.Start();
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, std::vector<uint8_t>{0xF0, 0x01}));
  EXPECT_EQ(arrivals, 0);
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGDATA, std::vector<uint8_t>{0x02, 0xF7, 0xF0, 0x03, 0xF7}));
  EXPECT_EQ(arrivals, 1);
  ASSERT_TRUE(fake.ReturnInput(MIM_LONGERROR, std::vector<uint8_t>{0xF0, 0x04}));
  EXPECT_EQ(arrivals, 1);
  fake.During("midiInStop", [&] { fake.DeliverLong(SysEx(4)); });
  port.Stop();
  EXPECT_EQ(arrivals, 1);
  EXPECT_EQ(Drain(port).size(), 3u);
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

}  // namespace
}  // namespace tarn::test
