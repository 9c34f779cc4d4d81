// What the progress display shows, built from the engine's events: the step, the status
// text, the position within the current range, and the firmware transfer's rate and time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "firmware/image_set.h"

namespace tarn::cli {

using Clock = std::chrono::steady_clock;
// How often a progress display is drawn again at the most: about ten times a second.
inline constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

struct ProgressSnapshot {
  std::string step;                // "3/10"
  std::string status;              // the engine's status text as it stands
  std::optional<double> fraction;  // of the current progress range, 0..1
  std::optional<double> bytesPerSecond;
  std::optional<double> secondsLeft;
};

// Bytes each step of the flash plan writes, in plan order (0 for erase steps).
std::vector<uint64_t> PlanStepBytes(const ImageSet& images);

class ProgressTracker {
 public:
  // `stepBytes`: what each plan step writes (PlanStepBytes); step k of the step text is
  // entry k - 1.
  explicit ProgressTracker(std::vector<uint64_t> stepBytes);

  // Step `number` of the plan (0 before the first and while verifying), shown as `text`.
  void SetStep(int32_t number, const std::string& text);
  void SetStatus(const std::string& text);
  void SetRange(int32_t low, int32_t high);
  void SetPosition(int32_t position, Clock::time_point now);

  ProgressSnapshot Snapshot(Clock::time_point now) const;

 private:
  struct Sample {
    Clock::time_point at;
    uint64_t bytes;
  };

  bool Writing() const;
  uint64_t RemainingBytes() const;
  std::optional<double> Rate(Clock::time_point now) const;

  std::vector<uint64_t> m_stepBytes;
  std::string m_step;
  int32_t m_stepNumber = 0;
  std::string m_status;
  int32_t m_low = 0;
  int32_t m_high = 0;
  int32_t m_position = 0;
  uint64_t m_written = 0;  // firmware bytes the device has acknowledged so far
  std::deque<Sample> m_samples;
};

}  // namespace tarn::cli
