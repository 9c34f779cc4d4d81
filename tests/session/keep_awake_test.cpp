// The machine is kept awake for exactly the span of an update, against a mock logind on a
// private system bus (dbus-daemon and python3-dbusmock's logind template).
#include "session/keep_awake.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "firmware/embedded_images.h"
#include "session/update_session.h"
#include "sim/virtual_device.h"
#include "tests/support/child_process.h"
#include "tests/support/product_loopback.h"
#include "tests/support/test_timing.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

struct Inhibitor {
  std::string what, who, why, mode;
};

// The blocks logind lists, or none when it cannot be asked.
std::optional<std::vector<Inhibitor>> ListInhibitors() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return std::nullopt;
  sd_bus_message* reply = nullptr;
  std::optional<std::vector<Inhibitor>> list;
  if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply,
                         "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
    list.emplace();
    const char *what, *who, *why, *mode;
    uint32_t uid, pid;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
      list->push_back({what, who, why, mode});
  }
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return list;
}

size_t Count() {
  const auto list = ListInhibitors();
  return list ? list->size() : 0;
}

bool WaitForCount(size_t count) {
  for (int tries = 0; tries < 500; ++tries) {
    if (Count() == count) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// A private bus taken as the system bus, with the mock logind on it, for the whole suite.
class KeepAwakeTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    using test::ChildOptions;
    // The daemon forks itself away and says where it listens.
    test::ChildProcess daemon(
        {"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"},
        ChildOptions{ChildOptions::Output::kPipe});
    const std::optional<std::string> bus = daemon.ReadLine(10s);
    const std::optional<std::string> pid = daemon.ReadLine(10s);
    daemon.Wait(10s);
    if (!bus || !pid) return;
    s_busPid = std::atoi(pid->c_str());
    s_savedAddress = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus->c_str(), 1);
    // The mock logs every call on its output.
    s_mock = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "logind"},
        ChildOptions{ChildOptions::Output::kLog});
    for (int tries = 0; tries < 500 && !ListInhibitors(); ++tries)
      std::this_thread::sleep_for(20ms);
  }
  static void TearDownTestSuite() {
    if (s_mock) {
      s_mock->Signal(SIGTERM);
      s_mock->Wait(10s);
      s_mock.reset();
    }
    if (s_busPid > 0) kill(s_busPid, SIGTERM);
    if (s_savedAddress) {
      setenv("DBUS_SYSTEM_BUS_ADDRESS", s_savedAddress, 1);
    } else {
      unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
  }
  void SetUp() override {
    if (s_busPid <= 0) GTEST_SKIP() << "dbus-daemon could not start a private bus";
    ASSERT_TRUE(ListInhibitors()) << "the mock logind did not come up (python3-dbusmock)";
  }

  static inline pid_t s_busPid = 0;
  static inline std::unique_ptr<test::ChildProcess> s_mock;
  static inline const char* s_savedAddress = nullptr;
};

TEST_F(KeepAwakeTest, BlocksSleepShutdownAndIdleWhileHeld) {
  std::string problem;
  auto awake = KeepMachineAwake("DAXO Tarn Series", &problem);
  ASSERT_NE(awake, nullptr) << problem;
  const auto list = ListInhibitors();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 1u);
  EXPECT_EQ(list->front().what, "shutdown:sleep:idle");
  EXPECT_EQ(list->front().who, "tarn-updater");
  EXPECT_EQ(list->front().why, "Updating the firmware of DAXO Tarn Series");
  EXPECT_EQ(list->front().mode, "block");
  awake.reset();
  EXPECT_TRUE(WaitForCount(0));
}

// The update's span in every way it ends: the block is there from its first event, gone by its
// end, and nothing is said about it.
struct SpanCase {
  const char* name;
  bool updateMode;
  bool stop;
  OutcomeKind outcome;
};

class KeepAwakeSpan : public KeepAwakeTest, public testing::WithParamInterface<SpanCase> {};

class FirstEventProbe : public UpdateObserver {
 public:
  void OnEvent(const UpdateEvent&) override {
    if (!m_seen.exchange(true)) m_countAtStart = Count();
  }
  std::atomic<bool> m_seen{false};
  std::atomic<size_t> m_countAtStart{0};
};

TEST_P(KeepAwakeSpan, HoldsTheBlockForTheUpdateOnly) {
  const SpanCase& c = GetParam();
  sim::VirtualDevice device;
  device.SetUpdateMode(c.updateMode);
  const test::ProductLoopback loopback(device);
  FirstEventProbe probe;
  std::vector<std::string> notices;
  std::atomic<bool> ended{false};
  OutcomeKind outcome{};
  {
    UpdateSession session(EmbeddedImages(), probe, test::FastTiming());
    session.SetNotice([&](const std::string& text) { notices.push_back(text); });
    session.StartDispatcher();
    ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
    EXPECT_EQ(Count(), 0u);
    ASSERT_TRUE(session.StartUpdate([&](const UpdateOutcome& end) {
      outcome = end.kind;
      ended = true;
    }));
    if (c.stop) {
      while (device.Count(RequestKind::kWriteBlock) == 0)
        std::this_thread::sleep_for(1ms);
      EXPECT_EQ(Count(), 1u);
      session.RequestStop();
    }
    session.WaitForWorker();
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(probe.m_countAtStart, 1u);
  EXPECT_TRUE(WaitForCount(0));
  EXPECT_TRUE(notices.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, KeepAwakeSpan,
    testing::Values(SpanCase{"completed", true, false, OutcomeKind::kCompleted},
                    SpanCase{"failed", false, false, OutcomeKind::kFailed},
                    SpanCase{"stopped", true, true, OutcomeKind::kStopped}),
    [](const testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

// Without logind the update is not held up: one line says the machine is not kept awake.
TEST(KeepAwakeWithoutLogind, SaysSoAndGoesOn) {
  const char* saved = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  const std::string restore = saved ? saved : "";
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tarn-updater-test-bus", 1);
  std::string problem;
  EXPECT_EQ(KeepMachineAwake("DAXO Tarn Series", &problem), nullptr);
  EXPECT_NE(problem, "");
  EXPECT_EQ(
      NotKeptAwakeNotice(problem).rfind("The machine is not kept awake during this update (", 0),
      0u);
  if (saved) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", restore.c_str(), 1);
  } else {
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }
}

}  // namespace
}  // namespace tarn
