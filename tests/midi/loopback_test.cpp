#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/platform/loopback/loopback.h"
#include "midi/platform/platform.h"
#include "tests/midi/echo_peer.h"
#include "tests/support/host_messages.h"

namespace tarn::test {
namespace {

using Bytes = std::vector<uint8_t>;

int32_t Send(CMidiOutPort& port, Bytes message) {
  MIDIHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(message.data());
  header.dwBufferLength = static_cast<DWORD>(message.size());
  return port.SendLong(&header);
}

std::vector<Bytes> Receive(CMidiInPort& port, size_t count) {
  std::vector<Bytes> entries;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (entries.size() < count && std::chrono::steady_clock::now() < deadline) {
    const auto entry = port.PeekSysEx();
    if (entry.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    entries.emplace_back(entry.begin(), entry.end());
    port.PopSysEx();
  }
  return entries;
}

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetBackends({});
    platform::InstallLoopbackPeer(&peer, kEchoDeviceName);
  }
  void TearDown() override { platform::RemoveLoopbackPeer(); }

  EchoPeer peer;
};

// The device is named by whoever installs it; installing again renames it.
TEST_F(LoopbackTest, BothPortsShowTheNameTheInstallerGave) {
  for (const std::string& given :
       {std::string(kEchoDeviceName), std::string("DAXO Tarn Series (2)")}) {
    SCOPED_TRACE(given);
    platform::InstallLoopbackPeer(&peer, given);
    ASSERT_EQ(CMidiInPort::GetDeviceCount(), 1);
    ASSERT_EQ(CMidiOutPort::GetDeviceCount(), 1);
    char name[CMidiInPort::kNameCapacity];
    EXPECT_EQ(CMidiInPort::GetDeviceName(0, name), 1);
    EXPECT_EQ(std::string(name), given);
    EXPECT_EQ(CMidiOutPort::GetDeviceName(0, name), 1);
    EXPECT_EQ(std::string(name), given);
  }
}

TEST_F(LoopbackTest, PortsReachThePeerAndBack) {
  ASSERT_EQ(CMidiInPort::GetDeviceCount(), 1);
  ASSERT_EQ(CMidiOutPort::GetDeviceCount(), 1);

  CMidiInPort in;
  in.DeviceIndex = 0;
  ASSERT_EQ(in.Start(), 1);
  CMidiOutPort out;
  ASSERT_EQ(out.Open(0), 1);
  const Bytes small = SysEx(6);
  const Bytes large = SysEx(10000);
  EXPECT_EQ(Send(out, small), 1);
  EXPECT_EQ(Send(out, large), 1);
  // The large one fills more than one buffer and comes out joined.
  EXPECT_EQ(Receive(in, 2), (std::vector<Bytes>{small, large}));
  EXPECT_EQ(in.Close(), 1);
}

TEST_F(LoopbackTest, RemovingThePeerUnplugsTheDevice) {
  CMidiOutPort out;
  ASSERT_EQ(CMidiOutPort::GetDeviceCount(), 1);
  ASSERT_EQ(out.Open(0), 1);
  platform::RemoveLoopbackPeer();
  EXPECT_EQ(Send(out, SysEx(6)), 0);
  EXPECT_EQ(CMidiOutPort::GetDeviceCount(), 0);
  EXPECT_EQ(CMidiInPort::GetDeviceCount(), 0);
}

}  // namespace
}  // namespace tarn::test
