#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <random>

#include "midi/platform/input_device.h"
#include "midi/platform/platform.h"
#include "midi/platform/winmm.h"
#include "tests/midi/scripted_backend.h"

namespace tarn::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Returned {
  UINT notice;
  Bytes bytes;  // the recorded bytes, or the packed short message
  DWORD flags;

  bool operator==(const Returned& other) const {
    return notice == other.notice && bytes == other.bytes;
  }
};

void PrintTo(const Returned& returned, std::ostream* out) {
  *out << std::hex << "{notice " << returned.notice << ":";
  for (uint8_t byte : returned.bytes)
    *out << " " << int{byte};
  *out << "}";
}

Returned Long(Bytes bytes) {
  return {MIM_LONGDATA, std::move(bytes), 0};
}
Returned Broken(Bytes bytes) {
  return {MIM_LONGERROR, std::move(bytes), 0};
}
Returned Short(DWORD message) {
  return {MIM_DATA, {uint8_t(message), uint8_t(message >> 8), uint8_t(message >> 16)}, 0};
}

// The tune request, a one-byte message: once it comes back, everything fed before it has.
const Bytes kSentinel{0xF6};

class PlatformInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_returned.clear();
    m_handBack = false;
    auto backend = std::make_unique<ScriptedBackend>();
    m_backend = backend.get();
    m_backend->inputs = {{"Scripted In", "in-0"}};
    std::vector<std::unique_ptr<platform::Backend>> backends;
    backends.push_back(std::move(backend));
    platform::SetBackends(std::move(backends));
    ASSERT_EQ(midiInGetNumDevs(), 1u);
    ASSERT_EQ(midiInOpen(&m_handle, 0, reinterpret_cast<DWORD_PTR>(&Callback),
                         reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(m_handle), MMSYSERR_NOERROR);
  }

  void TearDown() override {
    EXPECT_EQ(midiInReset(m_handle), MMSYSERR_NOERROR);
    for (auto& buffer : m_buffers) {
      EXPECT_EQ(midiInUnprepareHeader(m_handle, &buffer.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(midiInClose(m_handle), MMSYSERR_NOERROR);
    m_buffers.clear();
  }

  MIDIHDR* AddBuffer(DWORD size) {
    auto& buffer = m_buffers.emplace_back();
    buffer.data.resize(size);
    buffer.header.lpData = buffer.data.data();
    buffer.header.dwBufferLength = size;
    EXPECT_EQ(midiInPrepareHeader(m_handle, &buffer.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInAddBuffer(m_handle, &buffer.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    return &buffer.header;
  }

  // Waits for `count` returns in all, at most a generous while.
  std::vector<Returned> WaitFor(size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_returned.size() >= count; });
    return m_returned;
  }

  // Everything returned before the sentinel, once the sentinel has come back.
  std::vector<Returned> UpToSentinel() {
    m_backend->Feed(kSentinel);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10),
                       [&] { return !m_returned.empty() && m_returned.back() == Short(0xF6); });
    EXPECT_FALSE(m_returned.empty());
    std::vector<Returned> returned = m_returned;
    if (!returned.empty() && returned.back() == Short(0xF6)) returned.pop_back();
    return returned;
  }

  ScriptedBackend* m_backend = nullptr;
  HMIDIIN m_handle = nullptr;
  // Queue returned buffers again from inside the callback, as the input port does.
  bool m_handBack = false;

 private:
  struct Buffer {
    MIDIHDR header{};
    std::vector<char> data;
  };

  static void CALLBACK Callback(HMIDIIN handle, UINT notice, DWORD_PTR instance, DWORD_PTR param1,
                                DWORD_PTR) {
    auto& test = *reinterpret_cast<PlatformInputTest*>(instance);
    Returned returned{notice, {}, 0};
    if (notice == MIM_DATA) {
      returned = Short(static_cast<DWORD>(param1));
    } else {
      auto* header = reinterpret_cast<MIDIHDR*>(param1);
      returned.bytes.assign(header->lpData, header->lpData + header->dwBytesRecorded);
      returned.flags = header->dwFlags;
      if (test.m_handBack && (notice == MIM_LONGERROR || header->dwBytesRecorded > 0)) {
        midiInAddBuffer(handle, header, sizeof(MIDIHDR));
      }
    }
    std::lock_guard lock(test.m_mutex);
    test.m_returned.push_back(returned);
    test.m_changed.notify_all();
  }

  std::list<Buffer> m_buffers;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Returned> m_returned;
};

TEST_F(PlatformInputTest, StreamBecomesBuffersAndShortMessages) {
  struct Case {
    const char* name;
    std::vector<DWORD> buffers;
    std::vector<Bytes> pieces;
    std::vector<Returned> expected;
  };
  const std::vector<Case> cases{
      {"each piece goes back as it comes",
       {64, 64, 64},
       {{0xF0, 0x01, 0x02}, {0x03}, {0x04, 0xF7}},
       {Long({0xF0, 0x01, 0x02}), Long({0x03}), Long({0x04, 0xF7})}},
      {"two in one piece",
       {64, 64},
       {{0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7}},
       {Long({0xF0, 0x01, 0xF7}), Long({0xF0, 0x02, 0xF7})}},
      {"longer than the buffer",
       {4, 4, 4},
       {{0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7}},
       {Long({0xF0, 1, 2, 3}), Long({4, 5, 6, 7}), Long({8, 0xF7})}},
      {"exactly the buffer", {4, 4}, {{0xF0, 1, 2, 0xF7}}, {Long({0xF0, 1, 2, 0xF7})}},
      {"real-time bytes",
       {64, 64},
       {{0xF8, 0xF0, 0x01, 0xF8}, {0x02, 0xFE, 0xF7}},
       {Short(0xF8), Long({0xF0, 0x01}), Long({0x02, 0xF7})}},
      {"interrupted by a note",
       {64, 64},
       {{0xF0, 0x01, 0x02, 0x90, 0x40, 0x7F}},
       {Broken({0xF0, 0x01, 0x02}), Short(0x7F4090)}},
      {"interrupted by a new start",
       {64, 64},
       {{0xF0, 0x01, 0xF0, 0x02, 0xF7}},
       {Broken({0xF0, 0x01}), Long({0xF0, 0x02, 0xF7})}},
      {"interrupted after a full buffer",
       {2, 2},
       {{0xF0, 0x01, 0xC0, 0x05}},
       {Long({0xF0, 0x01}), Broken({}), Short(0x05C0)}},
      {"running status and stray bytes",
       {64},
       {{0x05, 0xF7, 0x90, 0x40, 0x7F, 0x41, 0x00, 0xC0, 0x03}},
       {Short(0x7F4090), Short(0x004190), Short(0x03C0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    for (DWORD size : c.buffers)
      AddBuffer(size);
    for (const Bytes& piece : c.pieces)
      m_backend->Feed(piece);
    const auto returned = UpToSentinel();
    EXPECT_EQ(returned, c.expected);
    for (const Returned& r : returned) {
      if (r.notice != MIM_DATA) {
        EXPECT_EQ(r.flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
      }
    }
  }
}

// However the backend cuts the stream and however small the buffers, the long data joined
// again is the messages without the real-time bytes inside them, each buffer holds bytes of one
// message only, and the notes between the messages come as short messages.
TEST_F(PlatformInputTest, RandomPiecesAndBuffersKeepMessagesApart) {
  const std::vector<Bytes> messages{{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7},
                                    {0xF0, 0x52, 0x00, 0x6E, 0x00, 0x00, 0xF7},
                                    {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xF7}};
  const Bytes note{0x90, 0x40, 0x7F};
  std::mt19937 random(5);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    TearDown();
    SetUp();
    m_handBack = true;
    Bytes stream;
    Bytes joined;
    for (const Bytes& message : messages) {
      for (const uint8_t byte : message) {
        stream.push_back(byte);
        // Clock and active sensing between any two bytes.
        if (byte != 0xF7 && random() % 4 == 0) stream.push_back(random() % 2 ? 0xF8 : 0xFE);
      }
      joined.insert(joined.end(), message.begin(), message.end());
      stream.insert(stream.end(), note.begin(), note.end());
    }
    for (int i = 0; i < 2; ++i)
      AddBuffer(1 + random() % 9);
    for (size_t at = 0; at < stream.size();) {
      const size_t size = std::min<size_t>(1 + random() % 8, stream.size() - at);
      m_backend->Feed(Bytes(stream.begin() + at, stream.begin() + at + size));
      at += size;
    }
    Bytes longData;
    std::vector<Returned> shorts;
    for (const Returned& r : UpToSentinel()) {
      if (r.notice == MIM_DATA) {
        shorts.push_back(r);
        continue;
      }
      ASSERT_EQ(r.notice, UINT{MIM_LONGDATA});
      const auto end = std::find(r.bytes.begin(), r.bytes.end(), 0xF7);
      EXPECT_TRUE(end == r.bytes.end() || end + 1 == r.bytes.end()) << "two messages in a buffer";
      longData.insert(longData.end(), r.bytes.begin(), r.bytes.end());
    }
    EXPECT_EQ(longData, joined);
    EXPECT_EQ(shorts, std::vector<Returned>(messages.size(), Short(0x7F4090)));
  }
}

TEST_F(PlatformInputTest, BytesWaitForTheNextBuffer) {
  m_backend->Feed({0x90, 0x40, 0x7F, 0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7, 0xC0, 0x01});
  EXPECT_EQ(WaitFor(1), std::vector<Returned>{Short(0x7F4090)});
  AddBuffer(4);
  EXPECT_EQ(WaitFor(2).back(), Long({0xF0, 1, 2, 3}));
  AddBuffer(4);
  AddBuffer(4);
  EXPECT_EQ(UpToSentinel(),
            (std::vector<Returned>{Short(0x7F4090), Long({0xF0, 1, 2, 3}), Long({4, 5, 6, 7}),
                                   Long({8, 0xF7}), Short(0x01C0)}));
}

TEST_F(PlatformInputTest, ResetReturnsEveryQueuedBufferEmptyBeforeItReturns) {
  MIDIHDR* first = AddBuffer(64);
  MIDIHDR* second = AddBuffer(64);
  // The start of a message goes back as it comes; the buffer after it stays queued.
  m_backend->Feed({0xF0, 0x01, 0x02});
  EXPECT_EQ(WaitFor(1), (std::vector<Returned>{Long({0xF0, 0x01, 0x02})}));
  first = AddBuffer(64);
  EXPECT_EQ(midiInUnprepareHeader(m_handle, first, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiInClose(m_handle), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(m_handle), MMSYSERR_NOERROR);
  const auto returned = WaitFor(0);
  EXPECT_EQ(returned, (std::vector<Returned>{Long({0xF0, 0x01, 0x02}), Long({}), Long({})}));
  for (MIDIHDR* header : {second, first}) {
    EXPECT_EQ(header->dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(header->dwBytesRecorded, 0u);
  }
  // Stopped by the reset: nothing more arrives until the next start.
  AddBuffer(64);
  m_backend->Feed({0xF0, 0x03, 0xF7});
  midiInStart(m_handle);
  m_backend->Feed({0xF0, 0x04, 0xF7});
  EXPECT_EQ(UpToSentinel(), (std::vector<Returned>{Long({0xF0, 0x01, 0x02}), Long({}), Long({}),
                                                   Long({0xF0, 0x04, 0xF7})}));
}

TEST_F(PlatformInputTest, BacklogIsBoundedAndAnOverrunMessageComesBackBroken) {
  constexpr DWORD kBuffer = 64 << 10;
  Bytes huge(platform::InputDevice::kBacklogLimit + 100, 0x11);
  huge.front() = 0xF0;
  m_backend->Feed(huge);
  m_backend->Feed({0xF0, 0x05, 0xF7});  // lost with the overrun
  m_handBack = true;
  AddBuffer(kBuffer);
  constexpr size_t kFull = platform::InputDevice::kBacklogLimit / kBuffer;
  const auto returned = WaitFor(kFull + 1);
  ASSERT_EQ(returned.size(), kFull + 1);
  for (size_t i = 0; i < kFull; ++i) {
    EXPECT_EQ(returned[i].notice, UINT{MIM_LONGDATA});
    EXPECT_EQ(returned[i].bytes.size(), kBuffer);
  }
  EXPECT_EQ(returned[kFull], Broken({}));
  // Input is whole again afterwards.
  m_backend->Feed({0x11, 0xF0, 0x06, 0xF7});
  EXPECT_EQ(UpToSentinel().back(), Long({0xF0, 0x06, 0xF7}));
}

TEST_F(PlatformInputTest, ABufferNeedsPreparingAndALength) {
  MIDIHDR header{};
  char data[8];
  header.lpData = data;
  header.dwBufferLength = sizeof data;
  EXPECT_EQ(midiInAddBuffer(m_handle, &header, sizeof header), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiInPrepareHeader(m_handle, &header, sizeof header - 1), MMSYSERR_INVALPARAM);
  header.dwBufferLength = 0;
  EXPECT_EQ(midiInPrepareHeader(m_handle, &header, sizeof header), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiInStart(nullptr), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace tarn::test
