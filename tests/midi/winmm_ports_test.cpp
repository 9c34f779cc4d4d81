// The ports and the timer over the system's own WinMM (Windows, or Wine in the cross build's
// tests). The device lists, checked against what WinMM itself reports, are in
// system_numbering_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "midi/dx_timer.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/platform/loopback/loopback.h"
#include "tests/midi/counting_timer.h"
#include "tests/midi/echo_peer.h"
#include "tests/support/host_messages.h"
#include "tests/support/wait_until.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

TEST(WinmmPorts, IndexPastTheListIsRefusedCleanly) {
  const int32_t inCount = CMidiInPort::GetDeviceCount();
  const int32_t outCount = CMidiOutPort::GetDeviceCount();
  char name[CMidiInPort::kNameCapacity] = "stale";
  EXPECT_EQ(CMidiInPort::GetDeviceName(inCount, name), 0);
  EXPECT_STREQ(name, "");
  std::strcpy(name, "stale");
  EXPECT_EQ(CMidiOutPort::GetDeviceName(outCount, name), 0);
  EXPECT_STREQ(name, "");

  CMidiInPort in;
  in.DeviceIndex = inCount;
  EXPECT_EQ(in.Start(), 0);
  EXPECT_TRUE(in.PeekSysEx().empty());
  EXPECT_EQ(in.Close(), 0);

  CMidiOutPort out;
  EXPECT_EQ(out.Open(outCount), 0);
  EXPECT_EQ(out.DeviceIndex(), outCount);
  char message[] = {'\xF0', '\x7E', '\x7F', '\x06', '\x01', '\xF7'};
  MIDIHDR header{};
  header.lpData = message;
  header.dwBufferLength = sizeof message;
  EXPECT_EQ(out.SendLong(&header), 0);
  EXPECT_EQ(header.dwFlags, 0u);
  EXPECT_EQ(out.Close(), 0);
}

using test::SysEx;

// Sends `message` as one long message on output `out` and waits, generously, for it to come
// back whole on input `in`.
void RoundTrip(int32_t in, int32_t out, std::vector<uint8_t> message) {
  CMidiInPort input;
  input.DeviceIndex = in;
  ASSERT_EQ(input.Start(), 1);
  CMidiOutPort output;
  ASSERT_EQ(output.Open(out), 1);
  MIDIHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(message.data());
  header.dwBufferLength = static_cast<DWORD>(message.size());
  ASSERT_EQ(output.SendLong(&header), 1);
  test::WaitUntil([&] { return !input.PeekSysEx().empty(); });
  const auto received = input.PeekSysEx();
  EXPECT_TRUE(std::equal(received.begin(), received.end(), message.begin(), message.end()))
      << received.size() << " bytes came back";
  EXPECT_EQ(input.DroppedSysEx(), 0u);
}

const size_t kLongMessages[] = {4700, 16383};

// The whole port path through the router, whose loopback device is numbered first.
TEST(WinmmPorts, LongMessagesPassTheRoutedLoopbackWhole) {
  test::EchoPeer echo;
  platform::InstallLoopbackPeer(&echo, test::kEchoDeviceName);
  // The loopback's ports appear at the next count, as a program lists before it opens.
  ASSERT_GE(CMidiInPort::GetDeviceCount(), 1);
  ASSERT_GE(CMidiOutPort::GetDeviceCount(), 1);
  for (const size_t length : kLongMessages) {
    SCOPED_TRACE(length);
    RoundTrip(0, 0, SysEx(length));
  }
  platform::RemoveLoopbackPeer();
}

using test::CountTick;

TEST(WinmmTimer, TicksUntilStoppedAndNeverAfter) {
  CDxMTimer timer;
  std::atomic<int> ticks{0};
  ASSERT_NE(timer.Start(1, CountTick, reinterpret_cast<DWORD_PTR>(&ticks)), 0u);
  EXPECT_TRUE(test::WaitUntil([&] { return ticks >= 50; }));
  EXPECT_EQ(timer.Stop(), 1);
  const int stopped = ticks;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(ticks, stopped);
  EXPECT_EQ(timer.TimerId(), 0u);
}

TEST(WinmmTimer, OnTickWithoutCallbackAndAfterARestart) {
  test::CountingTimer timer;
  ASSERT_NE(timer.Start(1), 0u);
  EXPECT_TRUE(test::WaitUntil([&] { return timer.ticks >= 20; }));
  timer.Stop();
  const int stopped = timer.ticks;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(timer.ticks, stopped);
  ASSERT_NE(timer.Start(1), 0u);
  EXPECT_TRUE(test::WaitUntil([&] { return timer.ticks >= stopped + 20; }));
}

}  // namespace
}  // namespace tarn
