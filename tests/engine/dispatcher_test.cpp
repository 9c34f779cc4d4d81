#include "engine/dispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

#include "sysex/codec.h"
#include "tests/support/engine_rig.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// The dispatcher alone, driven from the test's thread: no ticker, no worker.
class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest()
      : context(images, view, [this](const uint8_t* bytes, int32_t length) {
          sent.emplace_back(bytes, bytes + length);
          return SendResult::kSent;
        }) {}

  // A worker that sent `count` requests of `kind` and awaits their answers. Each call asks for
  // other data than the last, so what was owed before is forgotten.
  void Owe(RequestKind kind, int32_t count = 1) {
    ++m_address;
    for (int32_t i = 0; i < count; ++i)
      ASSERT_TRUE(context.Answers().Expect({kind, m_address}, 0ms, {}));
  }

  void Dispatch(std::initializer_list<Bytes> messages) {
    for (const Bytes& message : messages)
      queue.Push(message);
    ProcessIncoming(context, queue);
  }
  // The status the worker's wait was released with, if it was; consumes the release.
  std::optional<int32_t> Answer() { return context.AwaitAnswer(0ms); }
  // The status a worker already waiting when `message` came was released with; nothing when it
  // was not woken for it but left to the end of its long wait. The dispatcher wakes it only
  // once it has let go of the answer ledger, which the worker takes first when it goes on.
  std::optional<int32_t> AnswerToAWaitingWorker(const Bytes& message) {
    auto waited = std::async(std::launch::async, [this] {
      const auto start = std::chrono::steady_clock::now();
      const auto status = context.AwaitAnswer(60s);
      return std::chrono::steady_clock::now() - start < 30s ? status : std::nullopt;
    });
    // Most often the worker is waiting by now; when not, its wait ends at once all the same.
    std::this_thread::sleep_for(50ms);
    Dispatch({message});
    return waited.get();
  }
  // The status as an earlier answer left it.
  void LeaveStatus(int32_t status) {
    context.Complete(status);
    context.AwaitAnswer(0ms);
  }

  MemoryImages images;
  RecordingObserver view;
  std::vector<Bytes> sent;
  UpdateContext context;
  MessageQueue queue;

 private:
  uint32_t m_address = 0;
};

TEST_F(DispatcherTest, StatusAnswersStoreTheirStatusAndReleaseTheWait) {
  using Kind = RequestKind;
  const struct {
    Bytes message;
    int32_t status;
    Kind owed = Kind::kWriteBlock;
  } cases[] = {
      {StatusMessage(0x00), 0},
      {StatusMessage(0x01), 1},
      {StatusMessage(0x0B), 11, Kind::kBeginUpdate},
      {StatusMessage(0x7F), 127},
      {DoneMessage(), 0, Kind::kFinishUpdate},
      {DeviceIdentityMessage({1, 2, 3, 4}), 0, Kind::kIdentityRequest},
      {StatusMessage(0x03), 3,
       Kind::kIdentityRequest},  // a refusal may answer the identity request
      // No SysEx data byte, which no builder makes: a failure, never "closing".
      {{0xF0, 0x52, 0x00, 0x6E, 0x00, 0xFF, 0xF7}, 1},
      {{0xF0, 0x52, 0x00, 0x6E, 0x00, 0x80, 0xF7}, 1},
      {{0xF0, 0x52, 0x00, 0x6E, 0x00, 0xF7}, 1},  // the status byte missing
  };
  for (const auto& c : cases) {
    LeaveStatus(99);
    Owe(c.owed);
    EXPECT_EQ(AnswerToAWaitingWorker(c.message), c.status) << int(c.message[4]);
  }
  EXPECT_TRUE(sent.empty());
}

TEST_F(DispatcherTest, DeviceIdentityIsCaptured) {
  Owe(RequestKind::kIdentityRequest);
  Dispatch({DeviceIdentityMessage({0x6E, 0x00, 0x02, 0x00})});
  EXPECT_EQ(context.DeviceIdentity(), (Identity{0x6E, 0x00, 0x02, 0x00}));
  // Capturing it is not accepting it.
  EXPECT_EQ(context.AcceptedIdentity(), (Identity{0, 0, 0, 0}));
}

TEST_F(DispatcherTest, DeviceRequestsAreAnsweredWithTheCurrentModelByte) {
  const struct {
    Bytes message;
    uint8_t answer;
  } cases[] = {
      {MakerMessage(0x01), 0x00},
      {MakerMessage(0x04), 0x00},
      {MakerMessage(0x05), 0x00},
      {MakerMessage(0x06), 0x01},
      {MakerMessage(0x0A), 0x01},
      {MakerMessage(0x5F), 0x01},
      {MakerMessage(0x61), 0x01},
      {MakerMessage(0x7F), 0x01},
      {{0xF0, 0x7E, 0x00, 0x06, 0x03, 0xF7}, 0x01},
  };
  for (const uint8_t model : {0x00, 0x6E}) {
    context.StoreIdentityCopy({model, 0x00, 0x02, 0x00});
    for (const auto& c : cases) {
      sent.clear();
      Dispatch({c.message});
      EXPECT_EQ(sent, (std::vector<Bytes>{{0xF0, 0x52, 0x00, model, 0x00, c.answer, 0xF7}}))
          << int(c.message[4]);
      EXPECT_FALSE(Answer());
    }
  }
}

TEST_F(DispatcherTest, IdentityRequestIsAnsweredWithTheAcceptedIdentity) {
  const Bytes request{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
  Dispatch({request});
  context.StoreAcceptedIdentity({0x6E, 0x00, 0x04, 0x00});
  Dispatch({request});
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (Bytes{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x00, 0x00, 0x00, 0x00, '1', '0',
                            '0', '0', 0xF7}));
  EXPECT_EQ(sent[1], (Bytes{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x52, 0x6E, 0x00, 0x04, 0x00, '1', '0',
                            '0', '0', 0xF7}));
  EXPECT_FALSE(Answer());
}

TEST_F(DispatcherTest, MessagesWithoutMeaningAreDropped) {
  const Bytes cases[] = {
      MakerMessage(0x03),                          // device notice: no answer
      {0x90, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7},  // not SysEx
      {0xF0, 0x41, 0x00, 0x6E, 0x00, 0x00, 0xF7},  // another manufacturer
      {0xF0, 0x7E, 0x00, 0x07, 0x01, 0xF7},        // other universal message
      {0xF0, 0x7E, 0x00, 0x06, 0x02, 0xF7},        // identity reply without identity
      {0xF0, 0x52, 0x00, 0x6E, 0x60},              // read reply without its marker
      {0xF0},
      {0xF0, 0x52},
  };
  for (const Bytes& message : cases)
    Dispatch({message});
  EXPECT_TRUE(sent.empty());
  EXPECT_FALSE(Answer());
  EXPECT_EQ(context.DeviceIdentity(), (Identity{0, 0, 0, 0}));
}

TEST_F(DispatcherTest, EverythingQueuedIsHandledInOrderInOneCall) {
  Owe(RequestKind::kWriteBlock, 2);
  Dispatch({StatusMessage(5),
            MakerMessage(0x01),
            {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7},
            MakerMessage(0x70),
            StatusMessage(3)});
  EXPECT_TRUE(queue.Empty());
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0][5], 0x00);
  EXPECT_EQ(sent[1].size(), 15u);
  EXPECT_EQ(sent[2][5], 0x01);
  // An auto-reset event: two answers in one tick still release one wait.
  EXPECT_EQ(Answer(), 3);
  EXPECT_FALSE(Answer());
}

// An answer reaches the worker only when one is owed that it can be: anything else changes
// nothing, not the status, the identity or the read buffer. A status answer may have confirmed
// the wrong request and is counted as doubt; an identity or read reply can confirm no write
// and is only dropped, for the trace.
TEST_F(DispatcherTest, AnswersNobodyIsOwedReleaseNothing) {
  using Kind = RequestKind;
  const struct {
    const char* name;
    std::optional<Kind> owed;
    Bytes message;
    bool doubt;
  } cases[] = {
      {"status, nothing owed", std::nullopt, StatusMessage(0), true},
      {"done, nothing owed", std::nullopt, DoneMessage(), true},
      {"identity, nothing owed", std::nullopt, DeviceIdentityMessage({0x6E, 0, 4, 0}), false},
      {"read data, nothing owed", std::nullopt, ReadFlashReplyMessage(Bytes{1, 2, 3, 4}), false},
      {"an acknowledgement for the identity request", Kind::kIdentityRequest, StatusMessage(0),
       true},
      {"done for the identity request", Kind::kIdentityRequest, DoneMessage(), true},
      {"read data for a write", Kind::kWriteBlock, ReadFlashReplyMessage(Bytes{1, 2, 3, 4}), false},
      {"an identity for an erase", Kind::kEraseFlash, DeviceIdentityMessage({0x6E, 0, 4, 0}),
       false},
  };
  std::vector<Bytes> dropped;
  context.SetDroppedFunction([&dropped](std::span<const uint8_t> message) {
    dropped.emplace_back(message.begin(), message.end());
  });
  for (const auto& c : cases) {
    const int64_t unasked = context.Answers().Unasked();
    const size_t droppedBefore = dropped.size();
    context.Answers().Expect({Kind::kFinishUpdate, 0xFFFF}, 0ms, {});  // forget what was owed
    context.Answers().Forgo();
    if (c.owed) Owe(*c.owed);
    const int32_t owed = context.Answers().Owed();
    Dispatch({c.message});
    EXPECT_FALSE(Answer()) << c.name;
    EXPECT_EQ(context.Answers().Owed(), owed) << c.name;
    EXPECT_EQ(context.DeviceIdentity(), (Identity{0, 0, 0, 0})) << c.name;
    EXPECT_EQ(context.Answers().Unasked(), unasked + (c.doubt ? 1 : 0)) << c.name;
    EXPECT_EQ(dropped.size(), droppedBefore + (c.doubt ? 0 : 1)) << c.name;
    if (!c.doubt && dropped.size() > droppedBefore) {
      EXPECT_EQ(dropped.back(), c.message) << c.name;
    }
    EXPECT_TRUE(context.ReadBack().Received().empty()) << c.name;
  }
}

TEST_F(DispatcherTest, EachOwedAnswerIsTakenOnceAndATwiceDeliveredOneIsNot) {
  Owe(RequestKind::kWriteBlock);
  Dispatch({StatusMessage(0), StatusMessage(0)});
  EXPECT_TRUE(Answer());
  EXPECT_EQ(context.Answers().Owed(), 0);
  // The second copy came while nothing was owed: the next request's wait is not released.
  Owe(RequestKind::kWriteBlock);
  EXPECT_FALSE(Answer());
  Dispatch({StatusMessage(1)});
  EXPECT_EQ(Answer(), 1);
}

class ReadFlashReplyTest : public DispatcherTest {
 protected:
  // Of what the read has received; nothing when that is less.
  Bytes ReadBytes(size_t from, size_t count) {
    const Bytes received = context.ReadBack().Received();
    if (from + count > received.size()) return {};
    return Bytes(received.begin() + static_cast<ptrdiff_t>(from),
                 received.begin() + static_cast<ptrdiff_t>(from + count));
  }
  int32_t Offset() { return static_cast<int32_t>(context.ReadBack().Received().size()); }
  // A read of `length` bytes is owed as the plan owes it: the buffer emptied before each try.
  void OweRead(int32_t count = 1, int32_t length = kMaxLen2) {
    Owe(RequestKind::kReadFlash, count);
    context.ReadBack().Start(length);
  }
};

TEST_F(ReadFlashReplyTest, GoodDataIsStoredAtTheOffsetWhichAdvances) {
  const Bytes first{'1', '.', '0', '0'};
  const Bytes second = PatternImage(1, 100);
  LeaveStatus(7);
  OweRead(2, 104);
  EXPECT_EQ(AnswerToAWaitingWorker(ReadFlashReplyMessage(first)), 0);
  Dispatch({ReadFlashReplyMessage(second)});
  EXPECT_EQ(Offset(), 104);
  EXPECT_EQ(ReadBytes(0, 4), first);
  EXPECT_EQ(ReadBytes(4, 100), second);
}

TEST_F(ReadFlashReplyTest, TheLargestReplyFits) {
  const Bytes data = PatternImage(2, kMaxLen2);
  OweRead();
  Dispatch({ReadFlashReplyMessage(data)});
  EXPECT_EQ(Answer(), 0);
  EXPECT_EQ(Offset(), kMaxLen2);
  EXPECT_EQ(ReadBytes(0, data.size()), data);
}

TEST_F(ReadFlashReplyTest, BadRepliesReportFailureAndLeaveTheOffset) {
  const Bytes data{'1', '.', '0', '0'};
  Bytes wrongSelector = ReadFlashReplyMessage(data);
  wrongSelector[6] = 0x31;
  // Announces 40 bytes but carries 4.
  Bytes truncated = ReadFlashReplyMessage(data);
  truncated[9] = 40;
  // Announces more than a len2 holds (not SysEx data bytes) and carries nothing of it.
  Bytes hugeLength = ReadFlashReplyMessage(data);
  hugeLength[9] = 0xFF;
  hugeLength[10] = 0xFF;
  Bytes shortHeader{0xF0, 0x52, 0x00, 0x6E, 0x60, 0x04, 0x30, 0x00, 0x00, 0x04};
  const struct {
    const char* name;
    Bytes message;
  } cases[] = {
      {"wrong checksum", ReadFlashReplyMessage(data, true)},
      {"wrong selector", wrongSelector},
      {"truncated", truncated},
      {"huge length", hugeLength},
      {"short header", shortHeader},
  };
  for (const auto& c : cases) {
    LeaveStatus(0);
    OweRead();
    Dispatch({c.message});
    EXPECT_EQ(Answer(), 1) << c.name;
    EXPECT_EQ(Offset(), 0) << c.name;
  }
}

// A reply longer than the read asked for is not the data asked for: refused, and nothing of it
// stored.
TEST_F(ReadFlashReplyTest, ReplyLongerThanAskedIsRefusedAndNotStored) {
  OweRead(1, 4);
  Dispatch({ReadFlashReplyMessage(Bytes{1, 2, 3, 4, 5})});
  EXPECT_EQ(Answer(), 1);
  EXPECT_EQ(Offset(), 0);
}

// A read tried again after a stall: the late reply to the first try and the reply to the
// second both come. The buffer holds one of them, and the second changes nothing at all.
TEST_F(ReadFlashReplyTest, SecondReplyToAReadThatHasItsDataChangesNothing) {
  OweRead(2, 4);
  Dispatch({ReadFlashReplyMessage(Bytes{1, 2, 3, 4})});
  EXPECT_EQ(Answer(), 0);
  Dispatch({ReadFlashReplyMessage(Bytes{5, 6, 7, 8})});
  EXPECT_FALSE(Answer());
  EXPECT_EQ(Offset(), 4);
  EXPECT_EQ(ReadBytes(0, 4), (Bytes{1, 2, 3, 4}));
  // The next try starts empty.
  OweRead(1, 4);
  Dispatch({ReadFlashReplyMessage(Bytes{5, 6, 7, 8})});
  EXPECT_EQ(ReadBytes(0, 4), (Bytes{5, 6, 7, 8}));
}

TEST_F(ReadFlashReplyTest, ReplyWithoutDataMarkerOnlyReleasesTheWait) {
  Bytes noData = ReadFlashReplyMessage(Bytes{1, 2, 3, 4});
  noData[5] = 0x05;
  for (const int32_t status : {0, 9}) {
    LeaveStatus(status);
    OweRead();
    EXPECT_EQ(AnswerToAWaitingWorker(noData), status);
    EXPECT_EQ(Offset(), 0);
  }
}

}  // namespace
}  // namespace tarn::test
