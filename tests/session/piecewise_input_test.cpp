// A full update through the session, the real ports and the loopback, with every device
// message returned to the host in pieces of 1 to 64 bytes, as a platform may return them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "firmware/embedded_images.h"
#include "session/update_session.h"
#include "sim/plan_expectations.h"
#include "sim/virtual_device.h"
#include "tests/support/product_loopback.h"
#include "tests/support/recording_observer.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

// The virtual device behind the loopback, its messages cut at random points on the way back.
class PiecewisePeer final : public platform::LoopbackPeer {
 public:
  void Receive(std::span<const uint8_t> message) override { device.Receive(message); }
  void SetOutput(platform::PeerOutput output) override {
    if (!output) {
      device.SetOutput({});
      return;
    }
    device.SetOutput([this, output = std::move(output)](std::span<const uint8_t> message) {
      std::lock_guard lock(m_mutex);
      ++m_messages;
      while (!message.empty()) {
        // Never the whole rest at once, so that even the shortest answer comes in pieces.
        const size_t limit = std::clamp<size_t>(message.size() - 1, 1, 64);
        const size_t size = std::min<size_t>(1 + m_random() % limit, message.size());
        output(message.first(size));
        message = message.subspan(size);
        ++m_pieces;
      }
    });
  }

  std::pair<uint64_t, uint64_t> MessagesAndPieces() {
    std::lock_guard lock(m_mutex);
    return {m_messages, m_pieces};
  }

  sim::VirtualDevice device;

 private:
  std::mutex m_mutex;
  std::mt19937 m_random{12};
  uint64_t m_messages = 0;
  uint64_t m_pieces = 0;
};

TEST(PiecewiseInput, AFullUpdateCompletesWhenAnswersComeInPieces) {
  PiecewisePeer peer;
  const test::ProductLoopback loopback(peer);
  test::RecordingObserver view;
  uint64_t received = 0;
  {
    UpdateSession session(EmbeddedImages(), view);
    std::mutex traceMutex;
    session.SetTrace([&](TraceDirection direction, std::span<const uint8_t> message) {
      std::lock_guard lock(traceMutex);
      // Each entry the dispatcher sees is one whole message.
      if (direction == TraceDirection::kFromDevice) {
        EXPECT_EQ(message.front(), 0xF0);
        EXPECT_EQ(message.back(), 0xF7);
        ++received;
      }
    });
    session.StartDispatcher();
    ASSERT_EQ(session.OpenPorts(0, 0), UpdateSession::OpenResult::kOpened);
    ASSERT_TRUE(session.StartUpdate());
    ASSERT_TRUE(view.WaitFor(test::ViewCall::kRestore, 300s));
    session.WaitForWorker();
  }
  ASSERT_TRUE(peer.device.WaitIdle(5s));

  ASSERT_FALSE(view.StatusTexts().empty());
  EXPECT_EQ(view.StatusTexts().back(), "Version update completed.");
  const auto check = peer.device.VerifyFlash(sim::PlanExpectations(EmbeddedImages()));
  EXPECT_TRUE(check.ok) << check.summary;
  // The device's messages were cut, and none reached the dispatcher as more than one entry.
  const auto [messages, pieces] = peer.MessagesAndPieces();
  EXPECT_GE(pieces, 2 * messages);
  EXPECT_GT(received, 0u);
  EXPECT_LE(received, messages);
}

}  // namespace
}  // namespace tarn
