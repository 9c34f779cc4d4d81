// The ALSA rawmidi backend against a real kernel: run inside the test VM, where snd-virmidi
// provides hw:0,0..3 and hw:0,0 and hw:0,1 are joined both ways through the sequencer, so
// what is written on one is read on the other.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "midi/platform/alsa/alsa_backend.h"
#include "tests/vm/byte_collector.h"
#include "tests/vm/proc_rawmidi.h"
#include "tests/vm/sysex_stream.h"

namespace tarn {
namespace {

using platform::Backend;
using platform::DeviceInfo;
using namespace std::chrono_literals;

constexpr int kCard = 0;  // snd-virmidi is the VM's only card
constexpr int kVirmidiDevices = 4;
constexpr long kMinimumBuffer = 64 * 1024;
// A 64 KiB message arrives in well under 100 ms even emulated; lost bytes never do.
constexpr auto kArrival = 5s;

std::string CardName() {
  char* name = nullptr;
  if (snd_card_get_name(kCard, &name) < 0) return {};
  std::string result(name);
  std::free(name);
  return result;
}

// Card 0's rawmidi device `device` in `list`, named with or without its subdevice.
std::optional<DeviceInfo> FindDevice(const std::vector<DeviceInfo>& list, int device) {
  const std::string id = "hw:" + std::to_string(kCard) + "," + std::to_string(device);
  for (const DeviceInfo& info : list)
    if (info.id == id || info.id.rfind(id + ",", 0) == 0) return info;
  return std::nullopt;
}

class AlsaVmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_backend = platform::MakeAlsaBackend();
    ASSERT_TRUE(m_backend);
  }

  std::unique_ptr<platform::InputConnection> OpenInput(int device, ByteCollector& collector) {
    const auto info = FindDevice(m_backend->Inputs(), device);
    if (!info) return nullptr;
    return m_backend->OpenInput(*info, collector.Handler());
  }

  std::unique_ptr<platform::OutputConnection> OpenOutput(int device) {
    const auto info = FindDevice(m_backend->Outputs(), device);
    if (!info) return nullptr;
    return m_backend->OpenOutput(*info);
  }

  std::unique_ptr<Backend> m_backend;
};

TEST_F(AlsaVmTest, ListsEveryVirmidiDeviceUnderTheCardName) {
  const std::string card = CardName();
  ASSERT_FALSE(card.empty()) << "no sound card in the VM";
  const struct {
    const char* direction;
    std::vector<DeviceInfo> devices;
  } lists[] = {{"input", m_backend->Inputs()}, {"output", m_backend->Outputs()}};
  for (const auto& list : lists) {
    SCOPED_TRACE(list.direction);
    for (int device = 0; device < kVirmidiDevices; ++device)
      EXPECT_TRUE(FindDevice(list.devices, device)) << "hw:0," << device << " missing";
    for (const DeviceInfo& info : list.devices)
      EXPECT_EQ(info.name, card) << info.id;
  }
}

TEST_F(AlsaVmTest, OpensBothBuffersAtLeast64KiB) {
  ByteCollector received;
  auto input = OpenInput(1, received);
  auto output = OpenOutput(0);
  ASSERT_TRUE(input);
  ASSERT_TRUE(output);
  const struct {
    int device;
    bool input;
  } expected[] = {{1, true}, {0, false}};
  for (const auto& side : expected) {
    SCOPED_TRACE(side.input ? "input on hw:0,1" : "output on hw:0,0");
    int found = 0;
    for (const OpenSubstream& substream : OwnSubstreams(kCard, side.device)) {
      if (substream.input != side.input) continue;
      ++found;
      EXPECT_GE(substream.bufferSize, kMinimumBuffer);
    }
    EXPECT_EQ(found, 1) << "open substreams of this process";
  }
}

struct Transfer {
  size_t size;
  int from;
  int to;
};

void PrintTo(const Transfer& transfer, std::ostream* out) {
  *out << transfer.size << " bytes, hw:0," << transfer.from << " to hw:0," << transfer.to;
}

class AlsaVmTransferTest : public AlsaVmTest, public ::testing::WithParamInterface<Transfer> {};

TEST_P(AlsaVmTransferTest, SysExArrivesByteExact) {
  const Transfer transfer = GetParam();
  ByteCollector received;
  auto input = OpenInput(transfer.to, received);
  auto output = OpenOutput(transfer.from);
  ASSERT_TRUE(input);
  ASSERT_TRUE(output);
  const Bytes message = MakeSysEx(transfer.size, static_cast<uint32_t>(transfer.size));
  ASSERT_TRUE(output->Send(message));
  ASSERT_TRUE(received.WaitFor(message.size(), kArrival))
      << received.Size() << " of " << message.size() << " bytes arrived";
  EXPECT_EQ(Mismatch(message, received.Take()), "");
}

// Sizes: the smallest reply, a write block, the largest 14-bit length, and a message larger
// than any buffer a default-configured rawmidi stream has.
INSTANTIATE_TEST_SUITE_P(SizesAndDirections, AlsaVmTransferTest,
                         ::testing::Values(Transfer{6, 0, 1}, Transfer{6, 1, 0},
                                           Transfer{4700, 0, 1}, Transfer{4700, 1, 0},
                                           Transfer{16383, 0, 1}, Transfer{16383, 1, 0},
                                           Transfer{65536, 0, 1}, Transfer{65536, 1, 0}),
                         [](const ::testing::TestParamInfo<Transfer>& info) {
                           return std::to_string(info.param.size) + "_bytes_hw0" +
                                  std::to_string(info.param.from) + "_to_hw0" +
                                  std::to_string(info.param.to);
                         });

// A device may answer at once; the kernel drops virmidi input until the stream's first read,
// so the backend must arm its input while opening, not whenever its reader thread runs.
TEST_F(AlsaVmTest, MessageRightAfterOpenIsNotLost) {
  auto output = OpenOutput(0);
  ASSERT_TRUE(output);
  for (uint32_t cycle = 0; cycle < 20; ++cycle) {
    ByteCollector received;
    auto input = OpenInput(1, received);
    ASSERT_TRUE(input);
    const Bytes message = MakeSysEx(4700, cycle);
    ASSERT_TRUE(output->Send(message));
    ASSERT_TRUE(received.WaitFor(message.size(), kArrival))
        << "cycle " << cycle << ": " << received.Size() << " of " << message.size()
        << " bytes arrived";
    EXPECT_EQ(Mismatch(message, received.Take()), "") << "cycle " << cycle;
  }
}

// One write block after another, each sent when the previous one has arrived, as an update
// does: with a 4 KiB output buffer and two vCPUs the kernel corrupts about one in a few
// hundred at byte 4096.
TEST_F(AlsaVmTest, ManyBlocksInARowArriveClean) {
  constexpr uint32_t kBlocks = 1200;
  ByteCollector received;
  auto input = OpenInput(1, received);
  auto output = OpenOutput(0);
  ASSERT_TRUE(input);
  ASSERT_TRUE(output);
  for (uint32_t block = 0; block < kBlocks; ++block) {
    const Bytes message = MakeSysEx(4700, 1000 + block);
    ASSERT_TRUE(output->Send(message)) << "block " << block;
    ASSERT_TRUE(received.WaitFor(message.size(), kArrival))
        << "block " << block << ": " << received.Size() << " of " << message.size()
        << " bytes arrived";
    ASSERT_EQ(Mismatch(message, received.Take()), "") << "block " << block;
  }
  for (const OpenSubstream& substream : OwnSubstreams(kCard, 1)) {
    if (substream.input) {
      EXPECT_EQ(substream.overruns, 0);
    }
  }
}

// A device's output sends without draining: messages sent back to back, none waited for, arrive
// whole and in order.
TEST_F(AlsaVmTest, UndrainedOutputSendsBackToBackWhole) {
  // 56 400 bytes: virmidi has no flow control, so no more than the reading side's buffer.
  constexpr uint32_t kMessages = 12;
  m_backend = platform::MakeAlsaBackend({.drainEachMessage = false});
  ByteCollector received;
  auto input = OpenInput(1, received);
  auto output = OpenOutput(0);
  ASSERT_TRUE(input);
  ASSERT_TRUE(output);
  Bytes sent;
  for (uint32_t n = 0; n < kMessages; ++n) {
    const Bytes message = MakeSysEx(4700, 2000 + n);
    ASSERT_TRUE(output->Send(message)) << "message " << n;
    sent.insert(sent.end(), message.begin(), message.end());
  }
  ASSERT_TRUE(received.WaitFor(sent.size(), kArrival))
      << received.Size() << " of " << sent.size() << " bytes arrived";
  EXPECT_EQ(Mismatch(sent, received.Take()), "");
}

// Closing stops delivery at once, and a reopened input starts clean: nothing sent while it
// was closed turns up in front of the next message.
TEST_F(AlsaVmTest, ClosedInputDeliversNothingAndReopensClean) {
  auto output = OpenOutput(0);
  ASSERT_TRUE(output);
  ByteCollector first;
  {
    auto input = OpenInput(1, first);
    ASSERT_TRUE(input);
    const Bytes message = MakeSysEx(100, 1);
    ASSERT_TRUE(output->Send(message));
    ASSERT_TRUE(first.WaitFor(message.size(), kArrival));
    EXPECT_EQ(Mismatch(message, first.Take()), "");
  }
  ASSERT_TRUE(output->Send(MakeSysEx(100, 2)));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(first.Size(), 0u) << "bytes delivered after the input was closed";

  ByteCollector second;
  auto input = OpenInput(1, second);
  ASSERT_TRUE(input);
  const Bytes message = MakeSysEx(100, 3);
  ASSERT_TRUE(output->Send(message));
  ASSERT_TRUE(second.WaitFor(message.size(), kArrival));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Mismatch(message, second.Take()), "");
}

}  // namespace
}  // namespace tarn
