#include "cli/summary_table.h"

#include <algorithm>
#include <cstdio>

#include "cli/progress_format.h"
#include "resources/string_table.h"

namespace tarn::cli {
namespace {

constexpr char kDeviceHeading[] = "Device";
constexpr char kOutcomeHeading[] = "Outcome";
constexpr char kTimeHeading[] = "Time";
constexpr char kResentHeading[] = "Resent";

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

std::string RightAligned(const std::string& text, size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

}  // namespace

std::string OutcomeText(const UpdateOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kCompleted:
      return LoadString(outcome.verification == Verification::kNotPossible ? ids::kNotVerified
                                                                           : ids::kUpdateCompleted);
    case OutcomeKind::kFailed:
      return FormatText(outcome.failure);
    case OutcomeKind::kEndedWithoutText:
      return "Failed: the device's boot version could not be read back.";
    case OutcomeKind::kStopped:
      return "Stopped.";
  }
  return {};
}

std::vector<std::string> SummaryLines(const std::vector<SummaryRow>& rows) {
  size_t deviceWidth = sizeof kDeviceHeading - 1;
  size_t outcomeWidth = sizeof kOutcomeHeading - 1;
  std::vector<std::string> times;
  size_t timeWidth = sizeof kTimeHeading - 1;
  for (const SummaryRow& row : rows) {
    deviceWidth = std::max(deviceWidth, row.device.size());
    outcomeWidth = std::max(outcomeWidth, row.outcome.size());
    times.push_back(FormatDuration(row.seconds));
    timeWidth = std::max(timeWidth, times.back().size());
  }
  const auto line = [&](const std::string& device, const std::string& outcome,
                        const std::string& time, const std::string& resent) {
    return Padded(device, deviceWidth) + "  " + Padded(outcome, outcomeWidth) + "  " +
           RightAligned(time, timeWidth) + "  " + RightAligned(resent, sizeof kResentHeading - 1);
  };
  std::vector<std::string> lines{
      line(kDeviceHeading, kOutcomeHeading, kTimeHeading, kResentHeading)};
  for (size_t i = 0; i < rows.size(); ++i) {
    lines.push_back(
        line(rows[i].device, rows[i].outcome, times[i], std::to_string(rows[i].blocksResent)));
  }
  return lines;
}

}  // namespace tarn::cli
