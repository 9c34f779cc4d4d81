// The table that closes an update of several devices: device, outcome, time, blocks resent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/update_events.h"

namespace tarn::cli {

struct SummaryRow {
  std::string device;
  std::string outcome;  // OutcomeText, or why the device was never started
  double seconds = 0;
  int32_t blocksResent = 0;
};

// How an update ended, in the system's own words where it has them.
std::string OutcomeText(const UpdateOutcome& outcome);

// A heading and one line per row, in columns wide enough for every entry.
std::vector<std::string> SummaryLines(const std::vector<SummaryRow>& rows);

}  // namespace tarn::cli
