#include "cli/progress_tracker.h"

#include <algorithm>

#include "engine/flash_plan.h"

namespace tarn::cli {
namespace {

// The rate is what the last few seconds carried; older samples would hide a slowdown.
constexpr auto kRateWindow = std::chrono::seconds(5);
// Too short a span gives a rate that jumps with every block.
constexpr auto kShortestSpan = std::chrono::milliseconds(300);

}  // namespace

std::vector<uint64_t> PlanStepBytes(const ImageSet& images) {
  std::vector<uint64_t> bytes;
  for (const PlanStep& step : FlashPlan) {
    uint64_t count = 0;
    if (step.mode == PlanMode::kWrite) {
      const auto image = images.Find(step.imageId);
      if (image) count = WriteLength(step.size, image->size());
    }
    bytes.push_back(count);
  }
  return bytes;
}

ProgressTracker::ProgressTracker(std::vector<uint64_t> stepBytes)
    : m_stepBytes(std::move(stepBytes)) {}

void ProgressTracker::SetStep(int32_t number, const std::string& text) {
  m_step = text;
  m_stepNumber = number;
  m_position = m_low;
}

void ProgressTracker::SetStatus(const std::string& text) {
  m_status = text;
}

void ProgressTracker::SetRange(int32_t low, int32_t high) {
  m_low = low;
  m_high = high;
  m_position = low;
}

void ProgressTracker::SetPosition(int32_t position, Clock::time_point now) {
  if (Writing() && position > m_position) {
    m_written += static_cast<uint64_t>(position - m_position);
    m_samples.push_back({now, m_written});
    // One sample older than the window stays as the window's start.
    while (m_samples.size() > 2 && now - m_samples[1].at > kRateWindow)
      m_samples.pop_front();
  }
  m_position = position;
}

bool ProgressTracker::Writing() const {
  return m_stepNumber >= 1 && static_cast<size_t>(m_stepNumber) <= m_stepBytes.size() &&
         m_stepBytes[static_cast<size_t>(m_stepNumber - 1)] > 0;
}

uint64_t ProgressTracker::RemainingBytes() const {
  uint64_t remaining = 0;
  for (size_t i = static_cast<size_t>(std::max(m_stepNumber, 0)); i < m_stepBytes.size(); ++i)
    remaining += m_stepBytes[i];
  if (Writing()) {
    const uint64_t current = m_stepBytes[static_cast<size_t>(m_stepNumber - 1)];
    const auto done = static_cast<uint64_t>(std::max(m_position - m_low, 0));
    remaining += current - std::min(done, current);
  }
  return remaining;
}

std::optional<double> ProgressTracker::Rate(Clock::time_point now) const {
  if (m_samples.size() < 2) return std::nullopt;
  const Sample& first = m_samples.front();
  const Sample& last = m_samples.back();
  // Nothing acknowledged for a whole window (a long erase, a stalled device): no current rate.
  if (now - last.at > kRateWindow) return std::nullopt;
  const auto span = std::chrono::duration<double>(last.at - first.at);
  if (span < kShortestSpan) return std::nullopt;
  return static_cast<double>(last.bytes - first.bytes) / span.count();
}

ProgressSnapshot ProgressTracker::Snapshot(Clock::time_point now) const {
  ProgressSnapshot snapshot{m_step, m_status, std::nullopt, Rate(now), std::nullopt};
  if (m_high > m_low) {
    snapshot.fraction =
        std::clamp(static_cast<double>(m_position - m_low) / (m_high - m_low), 0.0, 1.0);
  }
  if (snapshot.bytesPerSecond && *snapshot.bytesPerSecond > 0) {
    snapshot.secondsLeft = static_cast<double>(RemainingBytes()) / *snapshot.bytesPerSecond;
  }
  return snapshot;
}

}  // namespace tarn::cli
