// The loopback device reached through the real port classes carries the virtual device's link
// rate: a message and its answer take at least their size over the rate.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "sim/virtual_device.h"
#include "sysex/messages.h"
#include "tests/support/product_loopback.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sends one full WriteBlock and returns how long its answer took to come back.
Clock::duration RoundTrip(uint32_t linkRate, std::vector<uint8_t>* answer) {
  sim::DeviceConfig config;
  config.linkRate = linkRate;
  sim::VirtualDevice device(config);
  const test::ProductLoopback loopback(device);
  CMidiOutPort out;
  CMidiInPort in;
  EXPECT_EQ(out.Open(0), 1);
  in.DeviceIndex = 0;
  EXPECT_EQ(in.Start(), 1);

  std::vector<uint8_t> block(kBlockSize, 0x5A);
  std::vector<uint8_t> message(kMaxMessageLength);
  const int32_t length = WriteBlock(message.data(), 0x6E, 0x23000, block.data(), kBlockSize);
  MIDIHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(message.data());
  header.dwBufferLength = static_cast<DWORD>(length);
  const auto start = Clock::now();
  EXPECT_EQ(out.SendLong(&header), 1);
  const auto deadline = start + 20s;
  while (in.PeekSysEx().empty() && Clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  const auto elapsed = Clock::now() - start;
  const auto received = in.PeekSysEx();
  answer->assign(received.begin(), received.end());
  in.Close();
  out.Close();
  return elapsed;
}

TEST(LoopbackLink, ABlockAndItsAnswerTakeTheirSizeOverTheRate) {
  constexpr uint32_t kRate = 2000;
  std::vector<uint8_t> answer;
  const auto elapsed = RoundTrip(kRate, &answer);
  const std::vector<uint8_t> accepted{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7};
  EXPECT_EQ(answer, accepted);
  // 4700 bytes out and 7 back at 2000 bytes a second: at least 2.35 s.
  EXPECT_GE(elapsed, std::chrono::microseconds((4700 + 7) * 1'000'000LL / kRate));
}

TEST(LoopbackLink, WithoutARateTheAnswerIsThereAtOnce) {
  std::vector<uint8_t> answer;
  const auto elapsed = RoundTrip(0, &answer);
  EXPECT_EQ(answer.size(), 7u);
  // Far below what the rate above costs, even on a loaded machine.
  EXPECT_LT(elapsed, 2350ms);
}

}  // namespace
}  // namespace tarn
