#include "sim/fault_rule.h"

#include <charconv>
#include <vector>

namespace tarn::sim {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<int64_t> Number(std::string_view text, int64_t low, int64_t high) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<FaultRule> Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return std::nullopt;
}

// The action part: its name and, for status and delay, its value.
bool ParseAction(std::string_view name, std::string_view value, FaultRule& rule) {
  if (name == "drop" || name == "ignore" || name == "corrupt-crc") {
    if (!value.empty()) return false;
    rule.action = name == "drop"     ? FaultAction::kDropAnswer
                  : name == "ignore" ? FaultAction::kIgnore
                                     : FaultAction::kCorruptCrc;
    if (rule.action == FaultAction::kCorruptCrc) rule.kind = RequestKind::kReadFlash;
    return true;
  }
  if (name == "status") {
    const auto status = Number(value, 0, 0x7F);
    if (!status) return false;
    rule.action = FaultAction::kStatus;
    rule.status = static_cast<uint8_t>(*status);
    return true;
  }
  if (name == "delay") {
    const auto delay = Number(value, 0, 3600 * 1000);
    if (!delay) return false;
    rule.action = FaultAction::kDelay;
    rule.delay = std::chrono::milliseconds(*delay);
    return true;
  }
  return false;
}

}  // namespace

FaultRule FaultRule::DropAnswers(int32_t count, std::optional<RequestKind> kind) {
  FaultRule rule;
  rule.kind = kind;
  rule.count = count;
  return rule;
}

FaultRule FaultRule::AnswerWithStatus(RequestKind kind, uint8_t status, int32_t count) {
  FaultRule rule;
  rule.action = FaultAction::kStatus;
  rule.kind = kind;
  rule.count = count;
  rule.status = status;
  return rule;
}

FaultRule FaultRule::CorruptReadReplies(int32_t count) {
  FaultRule rule;
  rule.action = FaultAction::kCorruptCrc;
  rule.kind = RequestKind::kReadFlash;
  rule.count = count;
  return rule;
}

FaultRule FaultRule::SilentFrom(int32_t nth) {
  FaultRule rule;
  rule.action = FaultAction::kIgnore;
  rule.skip = nth - 1;
  rule.count = kForever;
  return rule;
}

FaultRule FaultRule::DelayAnswer(RequestKind kind, int32_t skip, std::chrono::milliseconds delay) {
  FaultRule rule;
  rule.action = FaultAction::kDelay;
  rule.kind = kind;
  rule.skip = skip;
  rule.delay = delay;
  return rule;
}

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error) {
  const std::vector<std::string_view> parts = Split(text, ',');
  FaultRule rule;
  for (size_t i = 0; i < parts.size(); ++i) {
    const size_t equals = parts[i].find('=');
    const std::string_view name = parts[i].substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : parts[i].substr(equals + 1);
    if (i == 0) {
      if (!ParseAction(name, value, rule)) {
        return Fail(error, "unknown fault action '" + std::string(parts[i]) +
                               "' (drop, ignore, status=N, delay=MS, corrupt-crc)");
      }
    } else if (name == "kind") {
      const auto kind = RequestKindFromName(value);
      if (!kind || !IsAnswered(*kind)) {
        return Fail(error, "unknown request kind '" + std::string(value) +
                               "' (identity, begin, erase, write, read, finish, unknown)");
      }
      rule.kind = kind;
    } else if (name == "skip") {
      const auto skip = Number(value, 0, kForever);
      if (!skip) return Fail(error, "skip needs a count, not '" + std::string(value) + "'");
      rule.skip = static_cast<int32_t>(*skip);
    } else if (name == "count") {
      const auto count =
          value == "all" ? std::optional<int64_t>(kForever) : Number(value, 1, kForever);
      if (!count)
        return Fail(error, "count needs a number or 'all', not '" + std::string(value) + "'");
      rule.count = static_cast<int32_t>(*count);
    } else {
      return Fail(error, "unknown fault option '" + std::string(parts[i]) + "'");
    }
  }
  return rule;
}

}  // namespace tarn::sim
