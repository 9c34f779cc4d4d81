#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "midi/midi_out_port.h"
#include "midi/platform/platform.h"
#include "midi/platform/registry.h"
#include "midi/platform/send_time.h"
#include "midi/platform/winmm.h"
#include "tests/midi/scripted_backend.h"
#include "tests/support/wait_until.h"

namespace tarn::test {
namespace {

using Bytes = std::vector<uint8_t>;

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<ScriptedBackend>();
    m_backend = backend.get();
    m_backend->inputs = {{"First", "in-a"}, {"Second", "in-b"}};
    m_backend->outputs = {{"Out", "out-a"}};
    std::vector<std::unique_ptr<platform::Backend>> backends;
    backends.push_back(std::move(backend));
    platform::SetBackends(std::move(backends));
  }
  void TearDown() override { platform::SetSendTimeout(platform::kDefaultSendTimeout); }

  std::string InputName(UINT index) {
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(index, &caps, sizeof caps) != MMSYSERR_NOERROR) return "(none)";
    return caps.szPname;
  }

  ScriptedBackend* m_backend = nullptr;
};

TEST_F(PlatformTest, IndicesReferToTheLastCount) {
  ASSERT_EQ(midiInGetNumDevs(), 2u);
  m_backend->SetInputs({{"Second", "in-b"}});
  // Until the next count, index 1 is still the second device of the list the user saw.
  EXPECT_EQ(InputName(1), "Second");
  HMIDIIN handle = nullptr;
  ASSERT_EQ(midiInOpen(&handle, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(m_backend->Opened(), std::vector<std::string>{"in-b"});
  EXPECT_EQ(midiInClose(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(handle), MMSYSERR_INVALHANDLE);
  ASSERT_EQ(midiInGetNumDevs(), 1u);
  EXPECT_EQ(InputName(0), "Second");
  EXPECT_EQ(InputName(1), "(none)");
}

TEST_F(PlatformTest, OpenRefusals) {
  HMIDIIN input = nullptr;
  HMIDIOUT output = nullptr;
  EXPECT_EQ(midiInOpen(&input, 2, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutOpen(&output, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInOpen(&input, 0, 0, 0, 0x00010000 /* a window */), MMSYSERR_INVALFLAG);
  EXPECT_EQ(midiOutOpen(&output, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALFLAG);
  m_backend->refuseOpen = true;
  EXPECT_EQ(midiInOpen(&input, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiOutOpen(&output, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
}

TEST_F(PlatformTest, ProductNamesFitTheNameField) {
  struct Case {
    std::string name;
    std::string field;
  };
  const std::string ae = "\xC3\xA4";  // a two-byte character
  for (const Case& c : {Case{"DAXO Tarn Series (2)", "DAXO Tarn Series (2)"},
                        Case{std::string(40, 'x'), std::string(31, 'x')},
                        Case{std::string(30, 'x') + ae, std::string(30, 'x')},
                        Case{std::string(29, 'x') + ae + "y", std::string(29, 'x') + ae}}) {
    CHAR field[MAXPNAMELEN];
    std::memset(field, 'Z', sizeof field);
    platform::CopyProductName(c.name, field);
    EXPECT_EQ(std::string(field), c.field);
  }
}

class PlatformOutputTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
    ASSERT_EQ(port.Open(0), 1);
  }

  int32_t Send(Bytes message) {
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(message.data());
    header.dwBufferLength = static_cast<DWORD>(message.size());
    return port.SendLong(&header);
  }

  CMidiOutPort port;
};

TEST_F(PlatformOutputTest, MessagesGoOutWholeAndFailuresAreReported) {
  const Bytes message(10000, 0x22);
  EXPECT_EQ(Send(message), 1);
  m_backend->sendResult = false;
  EXPECT_EQ(Send({0xF0, 0x01, 0xF7}), 0);
  EXPECT_EQ(m_backend->Sent(), (std::vector<Bytes>{message, {0xF0, 0x01, 0xF7}}));
}

TEST_F(PlatformOutputTest, LongMsgReportsTheOutcomeItself) {
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  char bytes[] = {'\xF0', '\x01', '\xF7'};
  MIDIHDR header{};
  header.lpData = bytes;
  header.dwBufferLength = sizeof bytes;
  EXPECT_EQ(midiOutLongMsg(handle, &header, sizeof header), MIDIERR_UNPREPARED);
  ASSERT_EQ(midiOutPrepareHeader(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(header.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  m_backend->sendResult = false;
  EXPECT_EQ(midiOutLongMsg(handle, &header, sizeof header), MMSYSERR_ERROR);
  EXPECT_EQ(header.dwFlags & (MHDR_DONE | MHDR_INQUEUE), 0u);
  EXPECT_EQ(midiOutUnprepareHeader(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(handle), MMSYSERR_NOERROR);
}

// A connection that only hands a message over is sent to on the caller's own thread, any other
// on the device's sender thread; either way the port reports the outcome alike.
TEST_F(PlatformTest, SendsThatReturnAtOnceRunOnTheCallersThread) {
  struct Case {
    bool returnsAtOnce;
    bool sendResult;
    bool gone;
    int32_t sent;
    bool deviceGone;
  };
  for (const Case& c : {Case{false, true, false, 1, false}, Case{true, true, false, 1, false},
                        Case{false, false, false, 0, false}, Case{true, false, false, 0, false},
                        Case{false, false, true, 0, true}, Case{true, false, true, 0, true}}) {
    SCOPED_TRACE(testing::Message() << "at once " << c.returnsAtOnce << ", result " << c.sendResult
                                    << ", gone " << c.gone);
    m_backend->returnsAtOnce = c.returnsAtOnce;
    m_backend->sendResult = c.sendResult;
    m_backend->gone = c.gone;
    CMidiOutPort port;
    ASSERT_EQ(port.Open(0), 1);
    Bytes message{0xF0, 0x7D, 0x01, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(message.data());
    header.dwBufferLength = static_cast<DWORD>(message.size());
    EXPECT_EQ(port.SendLong(&header), c.sent);
    EXPECT_EQ(port.DeviceGone(), c.deviceGone);
    EXPECT_EQ(m_backend->Sent().back(), message);
    EXPECT_EQ(m_backend->SendThreads().back() == std::this_thread::get_id(), c.returnsAtOnce);
    EXPECT_EQ(port.Close(), 1);
  }
}

// A backend that hangs in Send (a device that stopped taking data) does not hang the sender.
TEST_F(PlatformOutputTest, AHangingBackendIsReportedNotWaitedFor) {
  platform::SetSendTimeout(std::chrono::milliseconds(50));
  m_backend->HoldSends();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send({0xF0, 0x01, 0xF7}), 0);
  // Later sends fail at once instead of queueing behind it.
  EXPECT_EQ(Send({0xF0, 0x02, 0xF7}), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  m_backend->ReleaseSends();
  // Once the stuck send has ended, the device works again.
  WaitUntil([&] { return Send({0xF0, 0x03, 0xF7}) != 0; });
  EXPECT_EQ(m_backend->Sent().back(), (Bytes{0xF0, 0x03, 0xF7}));
  EXPECT_EQ(port.Close(), 1);
}

TEST_F(PlatformOutputTest, ClosingWithASendStuckInTheBackendDoesNotWaitForIt) {
  platform::SetSendTimeout(std::chrono::milliseconds(20));
  m_backend->HoldSends();
  EXPECT_EQ(Send({0xF0, 0x01, 0xF7}), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Close(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // The abandoned sender finishes on its own once the backend lets go.
  m_backend->ReleaseSends();
}

}  // namespace
}  // namespace tarn::test
