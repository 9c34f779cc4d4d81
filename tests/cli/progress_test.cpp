// The progress display: what the tracker makes of the engine's calls, and how it is printed.
#include <gtest/gtest.h>

#include <map>

#include "cli/progress_format.h"
#include "cli/progress_tracker.h"
#include "engine/flash_plan.h"

namespace tarn::cli {
namespace {

using namespace std::chrono_literals;

class SmallImages : public ImageSet {
 public:
  std::optional<std::span<const uint8_t>> Find(int32_t id) const override {
    const auto found = m_images.find(id);
    if (found == m_images.end()) return std::nullopt;
    return std::span<const uint8_t>(found->second);
  }
  std::map<int32_t, std::vector<uint8_t>> m_images;
};

TEST(ProgressTracker, PlanStepBytesFollowTheImagesAndThePlan) {
  SmallImages images;
  images.m_images[133] = std::vector<uint8_t>(1000);
  images.m_images[142] = std::vector<uint8_t>(2000);
  images.m_images[129] = std::vector<uint8_t>(3000);
  images.m_images[136] = std::vector<uint8_t>(0x700000);  // larger than its step's 0x6A0000
  // 139 is missing: its step writes nothing.
  const auto bytes = PlanStepBytes(images);
  ASSERT_EQ(bytes.size(), FlashPlan.size());
  const std::vector<uint64_t> expected{0, 0, 1000, 0, 2000, 0, 3000, 0, 0x6A0000, 0};
  EXPECT_EQ(bytes, expected);
}

TEST(ProgressTracker, RateAndTimeLeftCountOnlyAcknowledgedFirmwareBytes) {
  // Erase, write 4000, erase, write 6000.
  ProgressTracker tracker({0, 4000, 0, 6000});
  const auto start = Clock::now();
  tracker.SetStep(1, "1/4");
  tracker.SetRange(0, 10);
  tracker.SetPosition(1, start);
  tracker.SetPosition(10, start + 100ms);  // erase progress is not firmware
  tracker.SetStep(2, "2/4");
  tracker.SetRange(0, 4000);
  for (int i = 1; i <= 4; ++i)
    tracker.SetPosition(i * 1000, start + i * 1s);
  const ProgressSnapshot atFour = tracker.Snapshot(start + 4s);
  ASSERT_TRUE(atFour.bytesPerSecond);
  EXPECT_NEAR(*atFour.bytesPerSecond, 1000.0, 1e-6);
  // Nothing of step 2 left; all of step 4.
  ASSERT_TRUE(atFour.secondsLeft);
  EXPECT_NEAR(*atFour.secondsLeft, 6.0, 1e-6);

  tracker.SetStep(4, "4/4");
  tracker.SetRange(0, 6000);
  tracker.SetPosition(2000, start + 5s);
  const ProgressSnapshot atFive = tracker.Snapshot(start + 5s);
  ASSERT_TRUE(atFive.secondsLeft);
  // From the window's first sample (1000 bytes at 1 s) to 6000 bytes at 5 s.
  EXPECT_NEAR(*atFive.bytesPerSecond, 5000.0 / 4.0, 1e-6);
  EXPECT_NEAR(*atFive.secondsLeft, 4000.0 / 1250.0, 1e-6);
}

TEST(ProgressTracker, NoRateWithoutProgressOrWhenStalled) {
  ProgressTracker tracker({2000});
  const auto start = Clock::now();
  tracker.SetStep(1, "1/1");
  tracker.SetRange(0, 2000);
  tracker.SetPosition(1000, start);
  EXPECT_FALSE(tracker.Snapshot(start).bytesPerSecond);  // one sample is no rate
  tracker.SetPosition(1100, start + 50ms);
  EXPECT_FALSE(tracker.Snapshot(start + 50ms).bytesPerSecond);  // too short a span
  tracker.SetPosition(1500, start + 1s);
  EXPECT_TRUE(tracker.Snapshot(start + 1s).bytesPerSecond);
  // A device that stopped answering has no current rate, and no time left can be told.
  const ProgressSnapshot stalled = tracker.Snapshot(start + 10s);
  EXPECT_FALSE(stalled.bytesPerSecond);
  EXPECT_FALSE(stalled.secondsLeft);
}

TEST(ProgressTracker, RetriedBlockIsNotCountedTwice) {
  ProgressTracker tracker({8192});
  const auto start = Clock::now();
  tracker.SetStep(1, "1/1");
  tracker.SetRange(0, 8192);
  tracker.SetPosition(4096, start);
  tracker.SetPosition(4096, start + 500ms);  // the same position again after a retry
  tracker.SetPosition(8192, start + 1s);
  EXPECT_NEAR(*tracker.Snapshot(start + 1s).bytesPerSecond, 4096.0, 1e-6);
}

TEST(ProgressFormat, Pieces) {
  EXPECT_EQ(FormatBar(0.0, 4), "[----]");
  EXPECT_EQ(FormatBar(0.5, 4), "[##--]");
  EXPECT_EQ(FormatBar(0.99, 4), "[###-]");
  EXPECT_EQ(FormatBar(1.0, 4), "[####]");
  EXPECT_EQ(FormatBar(2.0, 2), "[##]");
  EXPECT_EQ(FormatBar(-1.0, 2), "[--]");

  const std::vector<std::pair<double, std::string>> rates{{0, "0 B/s"},
                                                          {812, "812 B/s"},
                                                          {1024, "1.0 KiB/s"},
                                                          {46387, "45.3 KiB/s"},
                                                          {1258291, "1.2 MiB/s"}};
  for (const auto& [rate, text] : rates)
    EXPECT_EQ(FormatRate(rate), text);

  const std::vector<std::pair<double, std::string>> durations{
      {0, "0:00"}, {6.2, "0:07"}, {754, "12:34"}, {3723, "1:02:03"}, {-3, "0:00"}};
  for (const auto& [seconds, text] : durations)
    EXPECT_EQ(FormatDuration(seconds), text);

  EXPECT_EQ(FormatPlainLine("3/10", "Data transmit  4096 / 8192 "),
            "3/10 Data transmit  4096 / 8192");
  EXPECT_EQ(FormatPlainLine("", "Version update completed."), "Version update completed.");
}

TEST(ProgressFormat, LineGivesWayBarFirstAndNeverWraps) {
  const ProgressSnapshot snapshot{"9/10", "Data transmit  6909952 / 6946816 ", 0.5, 766464.0, 23.0};
  const std::string status = "9/10 Data transmit  6909952 / 6946816";
  const std::string full = status + " [##########----------] 748.5 KiB/s 0:23 left";
  EXPECT_EQ(FormatProgressLine(snapshot, 200), full);
  EXPECT_EQ(FormatProgressLine(snapshot, full.size() + 1), full);
  // One column less: the bar narrows before the rate and time left go.
  EXPECT_EQ(FormatProgressLine(snapshot, full.size()),
            status + " [#####-----] 748.5 KiB/s 0:23 left");
  EXPECT_EQ(FormatProgressLine(snapshot, status.size() + 25), status + " 748.5 KiB/s 0:23 left");
  EXPECT_EQ(FormatProgressLine(snapshot, status.size() + 14), status + " [#####-----]");
  EXPECT_EQ(FormatProgressLine(snapshot, 10), "9/10 Data");
  for (size_t width = 1; width < 120; ++width)
    EXPECT_LT(FormatProgressLine(snapshot, width).size(), width) << width;

  const ProgressSnapshot start{"0/10", "", std::nullopt, std::nullopt, std::nullopt};
  EXPECT_EQ(FormatProgressLine(start, 80), "0/10");
}

}  // namespace
}  // namespace tarn::cli
