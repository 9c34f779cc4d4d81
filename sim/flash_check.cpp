#include "sim/flash_check.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "sim/flash_memory.h"

namespace tarn::sim {
namespace {

constexpr size_t kProblemsShown = 3;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIX64, value);
  return text;
}

struct Span {
  uint64_t begin;
  uint64_t end;
};

// Counts the bytes of flash[begin, end) that are not 0xFF and notes the first.
void CheckBlank(std::span<const uint8_t> flash, Span span, uint64_t& wrong, uint64_t& first) {
  for (uint64_t at = span.begin; at < span.end; ++at) {
    if (flash[at] == kErasedByte) continue;
    if (wrong++ == 0) first = at;
  }
}

std::string CheckRegion(std::span<const uint8_t> flash, const ExpectedRegion& region) {
  const uint64_t end = static_cast<uint64_t>(region.address) + region.bytes.size();
  if (end > flash.size()) {
    return region.name + " at " + Hex(region.address) + " runs past the end of the flash";
  }
  uint64_t wrong = 0;
  size_t first = 0;
  for (size_t i = 0; i < region.bytes.size(); ++i) {
    if (flash[region.address + i] == region.bytes[i]) continue;
    if (wrong++ == 0) first = i;
  }
  if (wrong == 0) return {};
  return region.name + " at " + Hex(region.address) + ": " + std::to_string(wrong) + " of " +
         std::to_string(region.bytes.size()) + " bytes differ, first at " +
         Hex(region.address + first) + " (expected " + Hex(region.bytes[first]) + ", found " +
         Hex(flash[region.address + first]) + ")";
}

std::string CheckErased(std::span<const uint8_t> flash, const AddressRange& range,
                        const std::vector<Span>& covered) {
  const Span whole{range.address,
                   std::min<uint64_t>(uint64_t{range.address} + range.count, flash.size())};
  uint64_t wrong = 0;
  uint64_t first = 0;
  uint64_t cursor = whole.begin;
  for (const Span& region : covered) {
    if (region.end <= cursor || region.begin >= whole.end) continue;
    CheckBlank(flash, {cursor, std::max(cursor, region.begin)}, wrong, first);
    cursor = std::max(cursor, region.end);
  }
  CheckBlank(flash, {cursor, whole.end}, wrong, first);
  if (wrong == 0) return {};
  return "erased " + Hex(range.address) + "+" + Hex(range.count) + ": " + std::to_string(wrong) +
         " bytes not 0xFF, first at " + Hex(first);
}

}  // namespace

FlashCheck CheckFlash(std::span<const uint8_t> flash, const ExpectedFlash& expected) {
  std::vector<std::string> problems;
  uint64_t matched = 0;
  std::vector<Span> covered;
  for (const ExpectedRegion& region : expected.regions) {
    std::string problem = CheckRegion(flash, region);
    if (problem.empty())
      matched += region.bytes.size();
    else
      problems.push_back(std::move(problem));
    covered.push_back({region.address, uint64_t{region.address} + region.bytes.size()});
  }
  std::sort(covered.begin(), covered.end(),
            [](const Span& a, const Span& b) { return a.begin < b.begin; });
  for (const AddressRange& range : expected.erased) {
    std::string problem = CheckErased(flash, range, covered);
    if (!problem.empty()) problems.push_back(std::move(problem));
  }

  if (problems.empty()) {
    return {true, "flash ok: " + std::to_string(expected.regions.size()) + " regions (" +
                      std::to_string(matched) + " bytes) match, " +
                      std::to_string(expected.erased.size()) + " erased ranges blank"};
  }
  std::string summary = "flash wrong: ";
  for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
    summary += (i == 0 ? "" : "; ") + problems[i];
  }
  if (problems.size() > kProblemsShown) {
    summary += "; and " + std::to_string(problems.size() - kProblemsShown) + " more";
  }
  return {false, summary};
}

}  // namespace tarn::sim
