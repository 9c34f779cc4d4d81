// Answers that come late, twice, not at all, or from an earlier run never confirm a request
// for other data, and what counting cannot see the read-back of each area finds: whatever
// happens, the update either leaves every image in the flash or ends with an error text. Times
// are a tenth of the real ones; what matters is how they compare with the waits.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "engine/flash_plan.h"
#include "tests/support/engine_rig.h"
#include "tests/support/test_timing.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// A tenth of each real time, but for the pause after begin, which is shorter still.
const Timing kTenthOfTheRealTimes =
    TestTiming({.blockWait = 100ms, .retryPause = 10ms, .settleWait = 500ms, .eraseWait = 6s});

// What happens to the first answer to one request.
enum class Fault {
  kLate,
  kTwice,
  kDropped,
  kLateOutOfStream,  // late, without holding back the answers behind it
  kTwiceThenLost,    // its copy comes later, and the next write is neither stored nor answered
  kStoredWrong,      // a write stored with one byte off, answered as stored
};

// What the update without a read-back makes of the fault.
enum class Unverified {
  kCompletes,         // counting pairs every answer right
  kFails,             // an answer came that no request was owed: "Transfer error occurred."
  kCompletesOrFails,  // either, as the timing falls; never success over a wrong flash
  kCompletesUnseen,   // counting cannot see it: "completed" over a wrong flash
};

struct PairingCase {
  const char* name;
  RequestKind kind;  // the request whose first answer is hit
  uint32_t address;  // its address (erase, write)
  Fault fault;
  std::chrono::milliseconds late{0};
  RequestKind refusedKind;  // the request right after it is refused once
  uint32_t refusedAddress;
  bool staleAnswersFirst = false;  // an earlier run's answers come before the identity reply
  Unverified unverified = Unverified::kCompletes;
};

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const PairingCase& c, std::ostream* out) {
  *out << c.name;
}

// A device that is healthy but for one hit answer and one refusal, counted per address.
Script Faulty(FakeDevice& device, const PairingCase& c, RequestKind kind,
              std::shared_ptr<std::map<uint32_t, int32_t>> seen) {
  return [&device, c, kind, seen](const Bytes& request, int32_t) {
    const uint32_t address = kind == RequestKind::kIdentityRequest ? 0 : RequestAddress(request);
    const int32_t attempt = ++(*seen)[address];
    if (kind == c.refusedKind && address == c.refusedAddress && attempt == 1) {
      return std::vector<Reply>{{StatusMessage(1)}};
    }
    const bool lost = c.fault == Fault::kTwiceThenLost && kind == c.kind &&
                      address == c.address + kBlockSize && attempt == 1;
    if (lost) return std::vector<Reply>{};
    std::vector<Reply> replies = device.Healthy(request);
    if (kind == RequestKind::kIdentityRequest && c.staleAnswersFirst) {
      replies.insert(replies.begin(), {{StatusMessage(0)}, {StatusMessage(0)}, {DoneMessage()}});
    }
    if (kind != c.kind || address != c.address || attempt != 1) return replies;
    switch (c.fault) {
      case Fault::kLate:
        replies.front().delay = c.late;
        break;
      case Fault::kTwice:
        replies.push_back(replies.front());
        break;
      case Fault::kDropped:
        replies.clear();
        break;
      case Fault::kLateOutOfStream:
        replies.front().delay = c.late;
        replies.front().outOfStream = true;
        break;
      case Fault::kTwiceThenLost:
        replies.push_back({replies.front().message, c.late, true});
        break;
      case Fault::kStoredWrong: {
        const Bytes stored = device.Flash(address, 1);
        device.SetFlash(address, Bytes{static_cast<uint8_t>(stored[0] ^ 0x5A)});
        break;
      }
    }
    return replies;
  };
}

bool FlashHoldsTheImages(const EngineRig& rig) {
  bool right = true;
  for (const PlanStep& step : FlashPlan) {
    if (step.mode != PlanMode::kWrite) continue;
    const Bytes& image = rig.images.Image(step.imageId);
    right = right && rig.device.Flash(step.address, image.size()) == image;
  }
  return right;
}

class Pairing : public ::testing::TestWithParam<std::tuple<PairingCase, bool>> {};

TEST_P(Pairing, NeverCompletesWithABlockMissing) {
  const auto& [c, verify] = GetParam();
  EngineRig rig(kTenthOfTheRealTimes);
  rig.context.SetVerify(verify);
  // As on a real link: answers held back arrive one by one, not in one batch.
  rig.device.SetAnswerSpacing(3ms);
  for (const RequestKind kind :
       {RequestKind::kIdentityRequest, RequestKind::kEraseFlash, RequestKind::kWriteBlock}) {
    rig.device.On(kind,
                  Faulty(rig.device, c, kind, std::make_shared<std::map<uint32_t, int32_t>>()));
  }
  rig.RunUpdate();
  ASSERT_TRUE(rig.outcome.has_value());

  const bool flashRight = FlashHoldsTheImages(rig);
  if (!verify &&
      (c.unverified == Unverified::kFails || (c.unverified == Unverified::kCompletesOrFails &&
                                              rig.outcome->kind != OutcomeKind::kCompleted))) {
    // Honest about it: an error text, and the device is not told the update is done.
    EXPECT_EQ(rig.outcome->kind, OutcomeKind::kFailed);
    EXPECT_EQ(FormatText(rig.outcome->failure), "Transfer error occurred.");
    EXPECT_EQ(rig.device.Count(RequestKind::kFinishUpdate), 0);
    return;
  }
  if (!verify && c.unverified == Unverified::kCompletesUnseen) {
    // Why every area is read back: the fault leaves the flash wrong, and nothing else in the
    // update can tell. (A copy that comes before the next request is sent is seen, and ends
    // the update honestly.)
    if (rig.outcome->kind == OutcomeKind::kCompleted) {
      EXPECT_FALSE(flashRight);
    } else {
      EXPECT_EQ(FormatText(rig.outcome->failure), "Transfer error occurred.");
    }
    return;
  }
  // The refusal happened and was answered by sending that request again.
  int32_t refused = 0;
  for (const Bytes& request : rig.device.Sent(c.refusedKind)) {
    if (RequestAddress(request) == c.refusedAddress) ++refused;
  }
  EXPECT_GE(refused, 2);
  // Every other fault is survived, and what the update says is what the flash holds.
  EXPECT_EQ(rig.outcome->kind, OutcomeKind::kCompleted) << FormatText(rig.outcome->failure);
  EXPECT_EQ(rig.outcome->verification, verify ? Verification::kVerified : Verification::kNotAsked);
  EXPECT_TRUE(flashRight);
}

// Image 133 is two blocks at 0x23000; image 142, the boot image, follows it at 0 after the boot
// area's erase.
constexpr uint32_t kFirst = 0x23000;
constexpr uint32_t kSecond = 0x24000;

const PairingCase kCases[] = {
    {"LateByMoreThanTheWait", RequestKind::kWriteBlock, kFirst, Fault::kLate, 120ms,
     RequestKind::kWriteBlock, kSecond},
    {"LateByFiveWaits", RequestKind::kWriteBlock, kFirst, Fault::kLate, 500ms,
     RequestKind::kWriteBlock, kSecond},
    {"LateByTwentyNineWaits", RequestKind::kWriteBlock, kFirst, Fault::kLate, 2900ms,
     RequestKind::kWriteBlock, kSecond},
    {"SentTwice", RequestKind::kWriteBlock, kFirst, Fault::kTwice, 0ms, RequestKind::kWriteBlock,
     kSecond, false, Unverified::kFails},
    {"Dropped", RequestKind::kWriteBlock, kFirst, Fault::kDropped, 0ms, RequestKind::kWriteBlock,
     kSecond},
    // The answer to an image's last block must not release the next erase's wait.
    {"LastBlockLateBeforeAnErase", RequestKind::kWriteBlock, kSecond, Fault::kLate, 250ms,
     RequestKind::kEraseFlash, 0x0},
    {"EraseAnsweredTwice", RequestKind::kEraseFlash, kFirst, Fault::kTwice, 0ms,
     RequestKind::kWriteBlock, kFirst, false, Unverified::kFails},
    {"AnEarlierRunsAnswersFirst", RequestKind::kWriteBlock, kFirst, Fault::kLate, 0ms,
     RequestKind::kWriteBlock, kSecond, true},
    // Later than the settle time, while the answers behind it come: it may confirm the wrong
    // request, and only the read-back shows nothing is missing.
    {"LateBeyondTheSettle", RequestKind::kWriteBlock, kFirst, Fault::kLateOutOfStream, 700ms,
     RequestKind::kWriteBlock, kSecond, false, Unverified::kCompletesOrFails},
    // The copy confirms the next write, which never reached the device: the counts balance.
    {"SentTwiceThenOneLost", RequestKind::kWriteBlock, kFirst, Fault::kTwiceThenLost, 30ms,
     RequestKind::kWriteBlock, 0x1000, false, Unverified::kCompletesUnseen},
    {"StoredWrong", RequestKind::kWriteBlock, kSecond, Fault::kStoredWrong, 0ms,
     RequestKind::kWriteBlock, 0x1000, false, Unverified::kCompletesUnseen},
};

INSTANTIATE_TEST_SUITE_P(Faults, Pairing,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "ReadBack" : "");
                         });

}  // namespace
}  // namespace tarn::test
