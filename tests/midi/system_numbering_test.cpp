// Windows: the loopback device numbered together with the system's own devices, the MIDI
// mapper, and the router's handles. The system's devices depend on the machine, so they are
// checked against what the system's WinMM itself reports; in the test prefix there are none.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "midi/platform/loopback/loopback.h"
#include "midi/platform/platform.h"
#include "tests/midi/echo_peer.h"

namespace tarn::test {
namespace {

// One direction: the ports' view and the system's own.
struct Direction {
  const char* name;
  int32_t (*count)();
  int32_t (*portName)(int32_t index, char* name);
  std::vector<std::string> (*systemNames)();
};

std::vector<std::string> SystemInputs() {
  std::vector<std::string> names;
  for (UINT i = 0; i < ::midiInGetNumDevs(); ++i) {
    MIDIINCAPSA caps{};
    if (::midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR)
      names.push_back(caps.szPname);
  }
  return names;
}

std::vector<std::string> SystemOutputs() {
  std::vector<std::string> names;
  for (UINT i = 0; i < ::midiOutGetNumDevs(); ++i) {
    MIDIOUTCAPSA caps{};
    if (::midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      names.push_back(caps.szPname);
    }
  }
  return names;
}

const Direction kDirections[] = {
    {"input", &CMidiInPort::GetDeviceCount, &CMidiInPort::GetDeviceName, &SystemInputs},
    {"output", &CMidiOutPort::GetDeviceCount, &CMidiOutPort::GetDeviceName, &SystemOutputs},
};

// The names the ports list, and the first index past them refused.
std::vector<std::string> PortNames(const Direction& direction) {
  std::vector<std::string> names;
  const int32_t count = direction.count();
  for (int32_t i = 0; i < count; ++i) {
    char name[CMidiInPort::kNameCapacity];
    EXPECT_EQ(direction.portName(i, name), 1) << i;
    names.push_back(name);
  }
  char name[CMidiInPort::kNameCapacity];
  EXPECT_EQ(direction.portName(count, name), 0);
  return names;
}

class SystemNumbering : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetBackends(platform::DefaultBackends()); }
  void TearDown() override {
    platform::RemoveLoopbackPeer();
    platform::SetBackends(platform::DefaultBackends());
  }

  EchoPeer m_peer;
};

TEST_F(SystemNumbering, LoopbackFirstThenTheSystemsDevices) {
  for (const Direction& direction : kDirections) {
    SCOPED_TRACE(direction.name);
    const std::vector<std::string> system = direction.systemNames();

    platform::InstallLoopbackPeer(&m_peer, kEchoDeviceName);
    std::vector<std::string> expected{kEchoDeviceName};
    expected.insert(expected.end(), system.begin(), system.end());
    EXPECT_EQ(PortNames(direction), expected);

    platform::RemoveLoopbackPeer();
    EXPECT_EQ(PortNames(direction), system);

    // Without the system's devices only the loopback is left.
    platform::InstallLoopbackPeer(&m_peer, kEchoDeviceName);
    platform::SetBackends({});
    EXPECT_EQ(PortNames(direction), std::vector<std::string>{kEchoDeviceName});
    platform::SetBackends(platform::DefaultBackends());
  }
}

TEST_F(SystemNumbering, TheMapperIsTheSystemsWhileItsDevicesAreNumbered) {
  MIDIOUTCAPSA caps{};
  const bool described = ::midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR;
  HMIDIOUT system = nullptr;
  const bool opens = ::midiOutOpen(&system, MIDI_MAPPER, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
  if (opens) ::midiOutClose(system);

  char name[CMidiOutPort::kNameCapacity];
  EXPECT_EQ(CMidiOutPort::GetDeviceName(-1, name), described ? 1 : 0);
  EXPECT_EQ(std::string(name), described ? caps.szPname : "");
  {
    CMidiOutPort port;
    EXPECT_EQ(port.Open(-1), opens ? 1 : 0);
  }

  platform::SetBackends({});
  EXPECT_EQ(CMidiOutPort::GetDeviceName(-1, name), 0);
  CMidiOutPort port;
  EXPECT_EQ(port.Open(-1), 0);
}

struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  HMIDIIN handle = nullptr;
  DWORD_PTR header = 0;
  bool called = false;
};

void CALLBACK Record(HMIDIIN handle, UINT notice, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  if (notice != MIM_LONGDATA) return;
  auto& seen = *reinterpret_cast<Seen*>(instance);
  std::lock_guard lock(seen.mutex);
  seen.handle = handle;
  seen.header = param1;
  seen.called = true;
  seen.changed.notify_all();
}

TEST_F(SystemNumbering, CallbacksCarryTheHandleTheCallerKnows) {
  platform::InstallLoopbackPeer(&m_peer, kEchoDeviceName);
  ASSERT_GE(midiInGetNumDevs(), 1u);
  HMIDIIN in = nullptr;
  // A refused open first, so that the handle numbers of the two sides no longer coincide.
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, CALLBACK_FUNCTION | MIDI_IO_STATUS), MMSYSERR_INVALFLAG);
  EXPECT_EQ(in, nullptr);
  Seen seen;
  ASSERT_EQ(midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(&Record),
                       reinterpret_cast<DWORD_PTR>(&seen), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  char received[16] = {};
  MIDIHDR inHeader{};
  inHeader.lpData = received;
  inHeader.dwBufferLength = sizeof received;
  ASSERT_EQ(midiInPrepareHeader(in, &inHeader, sizeof inHeader), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(in, &inHeader, sizeof inHeader), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  char message[] = {'\xF0', '\x7E', '\x7F', '\x06', '\x01', '\xF7'};
  MIDIHDR outHeader{};
  outHeader.lpData = message;
  outHeader.dwBufferLength = sizeof message;
  ASSERT_EQ(midiOutPrepareHeader(out, &outHeader, sizeof outHeader), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(out, &outHeader, sizeof outHeader), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutUnprepareHeader(out, &outHeader, sizeof outHeader), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);

  {
    std::unique_lock lock(seen.mutex);
    ASSERT_TRUE(seen.changed.wait_for(lock, std::chrono::seconds(10), [&] { return seen.called; }));
    EXPECT_EQ(seen.handle, in);
    EXPECT_EQ(seen.header, reinterpret_cast<DWORD_PTR>(&inHeader));
  }
  EXPECT_EQ(std::string(received, inHeader.dwBytesRecorded), std::string(message, sizeof message));
  // The handle from the callback reaches the device, as the input port uses it.
  EXPECT_EQ(midiInAddBuffer(seen.handle, &inHeader, sizeof inHeader), MMSYSERR_NOERROR);

  EXPECT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInUnprepareHeader(in, &inHeader, sizeof inHeader), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInStart(in), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInClose(in), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace tarn::test
