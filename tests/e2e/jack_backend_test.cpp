// The JACK backend against a private JACK server, with the far end in a process of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "midi/platform/jack/jack_backend.h"
#include "tests/e2e/jack_server.h"
#include "tests/e2e/jack_test_lock.h"
#include "tests/e2e/peer_process.h"
#include "tests/e2e/sysex_collector.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using platform::DeviceInfo;
using test::JackServer;
using test::PeerProcess;
using test::SysExCollector;

constexpr auto kArrival = 10s;
constexpr size_t kSysExSizes[] = {6, 4700, 16383, 65536};

bool Has(const std::vector<DeviceInfo>& devices, const std::string& name, const std::string& id) {
  for (const DeviceInfo& device : devices) {
    if (device.name == name && device.id == id) return true;
  }
  return false;
}

// A whole SysEx message of `size` bytes with pseudo-random data bytes.
std::vector<uint8_t> MakeSysEx(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> message(size);
  for (uint8_t& byte : message)
    byte = static_cast<uint8_t>(random() & 0x7F);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

class JackBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed (package jackd2)";
    m_server = std::make_unique<JackServer>();
    ASSERT_TRUE(m_server->Running()) << m_server->Error();
  }

  std::unique_ptr<JackServer> m_server;
};

TEST_F(JackBackendTest, BackendsSeeEachOthersPortsByClientNameButNotTheirOwn) {
  auto first = platform::MakeJackBackend("tarn-test-first");
  auto second = platform::MakeJackBackend("tarn-test-second");
  ASSERT_EQ(first->ClientName(), "tarn-test-first");
  ASSERT_EQ(second->ClientName(), "tarn-test-second");
  const struct {
    platform::JackBackend* self;
    std::string own;
    std::string other;
  } sides[] = {{first.get(), "tarn-test-first", "tarn-test-second"},
               {second.get(), "tarn-test-second", "tarn-test-first"}};
  for (const auto& side : sides) {
    SCOPED_TRACE(side.own);
    const auto inputs = side.self->Inputs();
    const auto outputs = side.self->Outputs();
    EXPECT_TRUE(Has(inputs, side.other, side.other + ":MIDI 1 out"));
    EXPECT_TRUE(Has(outputs, side.other, side.other + ":MIDI 1 in"));
    for (const auto* list : {&inputs, &outputs}) {
      for (const DeviceInfo& device : *list)
        EXPECT_NE(device.name, side.own) << device.id;
    }
  }
}

TEST_F(JackBackendTest, ATakenClientNameGetsANumberAndStaysUsable) {
  auto first = platform::MakeJackBackend("tarn-test-twin");
  auto second = platform::MakeJackBackend("tarn-test-twin");
  ASSERT_EQ(first->ClientName(), "tarn-test-twin");
  const std::string renamed = second->ClientName();
  EXPECT_NE(renamed, "tarn-test-twin");
  EXPECT_EQ(renamed.rfind("tarn-test-twin", 0), 0u) << renamed;
  EXPECT_TRUE(Has(first->Inputs(), renamed, renamed + ":MIDI 1 out"));
  EXPECT_TRUE(Has(second->Inputs(), "tarn-test-twin", "tarn-test-twin:MIDI 1 out"));
}

// The host side opened on the ports of an echoing peer process.
class JackEchoTest : public JackBackendTest {
 protected:
  void SetUp() override {
    JackBackendTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    m_peer = std::make_unique<PeerProcess>("tarn-test-peer");
    ASSERT_TRUE(m_peer->Ready()) << m_peer->Error();
    m_host = platform::MakeJackBackend("tarn-test-host");
    m_output = m_host->OpenOutput(kPeerIn);
    ASSERT_TRUE(m_output);
    m_input = m_host->OpenInput(kPeerOut, m_received.Handler());
    ASSERT_TRUE(m_input);
  }

  const DeviceInfo kPeerIn{"tarn-test-peer", "tarn-test-peer:MIDI 1 in"};
  const DeviceInfo kPeerOut{"tarn-test-peer", "tarn-test-peer:MIDI 1 out"};
  std::unique_ptr<PeerProcess> m_peer;
  std::unique_ptr<platform::JackBackend> m_host;
  SysExCollector m_received;
  std::unique_ptr<platform::OutputConnection> m_output;
  std::unique_ptr<platform::InputConnection> m_input;
};

TEST_F(JackEchoTest, SysExOfEverySizeComesBackByteExact) {
  for (const size_t size : kSysExSizes) {
    SCOPED_TRACE(size);
    const auto message = MakeSysEx(size, static_cast<unsigned>(size));
    ASSERT_TRUE(m_output->Send(message));
    const auto echo = m_received.Next(kArrival);
    ASSERT_TRUE(echo) << "no echo";
    EXPECT_EQ(echo->size(), message.size());
    EXPECT_TRUE(*echo == message) << "the echo differs";
  }
}

TEST_F(JackEchoTest, MessagesSentBackToBackKeepTheirOrderAndBoundaries) {
  std::vector<std::vector<uint8_t>> sent;
  for (int round = 0; round < 3; ++round) {
    for (const size_t size : kSysExSizes) {
      sent.push_back(MakeSysEx(size, static_cast<unsigned>(size + round)));
      ASSERT_TRUE(m_output->Send(sent.back()));
    }
  }
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    const auto echo = m_received.Next(kArrival);
    ASSERT_TRUE(echo) << "no echo";
    EXPECT_TRUE(*echo == sent[i]) << "got " << echo->size() << " bytes, sent " << sent[i].size();
  }
}

TEST_F(JackEchoTest, RefusesWhatItCannotOpenOrSend) {
  auto other = platform::MakeJackBackend("tarn-test-other");
  const struct {
    const char* what;
    DeviceInfo device;
    bool asInput;
  } wrongOpens[] = {
      {"a sink as input", kPeerIn, true},
      {"a source as output", kPeerOut, false},
      {"no such port", {"nobody", "nobody:MIDI 1 out"}, true},
      {"no such port", {"nobody", "nobody:MIDI 1 in"}, false},
      {"its own port", {"tarn-test-other", "tarn-test-other:MIDI 1 out"}, true},
      {"its own port", {"tarn-test-other", "tarn-test-other:MIDI 1 in"}, false},
      {"no id", {"", ""}, true},
  };
  for (const auto& open : wrongOpens) {
    SCOPED_TRACE(open.what);
    if (open.asInput) {
      EXPECT_FALSE(other->OpenInput(open.device, [](std::span<const uint8_t>) {}));
    } else {
      EXPECT_FALSE(other->OpenOutput(open.device));
    }
  }
  EXPECT_TRUE(other->OpenOutput(kPeerIn)) << "the same backend opens a right device";
  // A further device open at once gets a client of its own, whose ports are no device.
  const size_t inputs = m_host->Inputs().size();
  const size_t outputs = m_host->Outputs().size();
  EXPECT_TRUE(m_host->OpenOutput(kPeerIn)) << "a second output opens on a client of its own";
  EXPECT_EQ(m_host->Inputs().size(), inputs);
  EXPECT_EQ(m_host->Outputs().size(), outputs);
  EXPECT_FALSE(m_host->ListenInput([](std::span<const uint8_t>) {})) << "input already open";

  const struct {
    const char* what;
    std::vector<uint8_t> message;
  } refused[] = {
      {"an empty message", {}},
      {"a non-SysEx message larger than any event", std::vector<uint8_t>(1 << 20, 0x00)},
  };
  for (const auto& send : refused) {
    SCOPED_TRACE(send.what);
    EXPECT_FALSE(m_output->Send(send.message));
  }
  const auto message = MakeSysEx(100, 1);
  ASSERT_TRUE(m_output->Send(message)) << "the output still works after a refusal";
  const auto echo = m_received.Next(kArrival);
  ASSERT_TRUE(echo);
  EXPECT_TRUE(*echo == message);
}

TEST_F(JackEchoTest, ClosedInputDeliversNothingAndReopensClean) {
  std::atomic<bool> closed{false};
  std::atomic<bool> calledAfterClose{false};
  std::atomic<size_t> bytes{0};
  m_input.reset();
  m_input = m_host->OpenInput(kPeerOut, [&](std::span<const uint8_t> chunk) {
    if (closed.load()) calledAfterClose.store(true);
    bytes += chunk.size();
  });
  ASSERT_TRUE(m_input);
  // The echo of the large message is still arriving when the input closes.
  ASSERT_TRUE(m_output->Send(MakeSysEx(65536, 7)));
  const auto deadline = std::chrono::steady_clock::now() + kArrival;
  while (bytes.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  m_input.reset();
  closed.store(true);
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(calledAfterClose.load());

  m_input = m_host->OpenInput(kPeerOut, m_received.Handler());
  ASSERT_TRUE(m_input);
  const auto message = MakeSysEx(4700, 8);
  ASSERT_TRUE(m_output->Send(message));
  const auto echo = m_received.Next(kArrival);
  ASSERT_TRUE(echo);
  EXPECT_TRUE(*echo == message) << "stale bytes reached the reopened input";
}

// The input learns at once that nothing more can come, whichever way its source went, and is
// told once; a source that stays is never reported gone.
TEST_F(JackEchoTest, AnInputIsToldOnceWhenItsSourceGoes) {
  const auto message = MakeSysEx(4700, 5);
  ASSERT_TRUE(m_output->Send(message));
  ASSERT_TRUE(m_received.Next(kArrival));
  EXPECT_EQ(m_received.GoneNotices(100ms), 0) << "a live source taken for gone";

  m_peer.reset();
  EXPECT_EQ(m_received.GoneNotices(kArrival), 1) << "the peer's client closed";

  // A second peer, whose input then loses its server.
  m_output.reset();
  m_input.reset();
  auto peer = std::make_unique<PeerProcess>("tarn-test-peer");
  ASSERT_TRUE(peer->Ready()) << peer->Error();
  SysExCollector second;
  m_input = m_host->OpenInput(kPeerOut, second.Handler());
  ASSERT_TRUE(m_input);
  EXPECT_EQ(second.GoneNotices(100ms), 0);
  m_server->Stop();
  EXPECT_EQ(second.GoneNotices(kArrival), 1) << "the server stopped";
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(m_received.GoneNotices(0ms), 1) << "told more than once";
  EXPECT_EQ(second.GoneNotices(0ms), 1) << "told more than once";
}

TEST_F(JackEchoTest, AfterTheServerStopsSendsFailPromptlyAndNothingIsFound) {
  const auto message = MakeSysEx(4700, 3);
  ASSERT_TRUE(m_output->Send(message));
  ASSERT_TRUE(m_received.Next(kArrival));
  m_server->Stop();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(m_output->Send(message));
  EXPECT_FALSE(m_output->Send(MakeSysEx(6, 4)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(m_host->Inputs().empty());
  EXPECT_TRUE(m_host->Outputs().empty());
}

TEST(JackWithoutServer, FindsNothingAtOnceAndQuietly) {
  test::JackTestLock lock;
  ASSERT_TRUE(lock.Held()) << lock.Error();
  const std::string absent = "tarn-test-absent-" + std::to_string(getpid());
  const char* previous = std::getenv("JACK_DEFAULT_SERVER");
  const std::string saved = previous ? previous : "";
  setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  auto backend = platform::MakeJackBackend("tarn-test-alone");
  EXPECT_TRUE(backend->Inputs().empty());
  EXPECT_TRUE(backend->Outputs().empty());
  EXPECT_EQ(backend->ClientName(), "");
  EXPECT_FALSE(backend->OpenOutput({"x", "x:MIDI 1 in"}));
  EXPECT_FALSE(backend->ListenOutput());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_LT(elapsed, 2s);
  EXPECT_EQ(printed, "");
  if (previous) {
    setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
  } else {
    unsetenv("JACK_DEFAULT_SERVER");
  }
}

}  // namespace
}  // namespace tarn
