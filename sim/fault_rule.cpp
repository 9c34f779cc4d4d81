#include "sim/fault_rule.h"

#include <charconv>
#include <utility>
#include <vector>

#include "sysex/messages.h"

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
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<FaultRule> Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return std::nullopt;
}

// Actions that act on one kind of request only.
std::optional<RequestKind> OnlyKind(FaultAction action) {
  switch (action) {
    case FaultAction::kCorruptCrc:
    case FaultAction::kRefuseRead:
    case FaultAction::kShortRead:
      return RequestKind::kReadFlash;
    case FaultAction::kLie:
    case FaultAction::kStoreWrong:
      return RequestKind::kWriteBlock;
    default:
      return std::nullopt;
  }
}

// The action part: its name and, for those that take one, its value.
bool ParseAction(std::string_view name, std::string_view value, FaultRule& rule) {
  constexpr std::pair<std::string_view, FaultAction> kPlain[] = {
      {"drop", FaultAction::kDropAnswer},
      {"ignore", FaultAction::kIgnore},
      {"corrupt-crc", FaultAction::kCorruptCrc},
      {"lie", FaultAction::kLie},
      {"store-wrong", FaultAction::kStoreWrong},
      {"done", FaultAction::kDone},
      {"stale", FaultAction::kStale},
  };
  for (const auto& [plainName, action] : kPlain) {
    if (name != plainName) continue;
    rule.action = action;
    return value.empty();
  }
  if (name == "status") {
    const auto status = Number(value, 0, 0x7F);
    if (!status) return false;
    rule.action = FaultAction::kStatus;
    rule.status = static_cast<uint8_t>(*status);
    return true;
  }
  if (name == "duplicate" && value.empty()) {
    rule.action = FaultAction::kDuplicate;
    return true;
  }
  if (name == "delay" || name == "late" || name == "duplicate") {
    const auto delay = Number(value, 0, kLongestDelay.count());
    if (!delay) return false;
    rule.action = name == "delay"  ? FaultAction::kDelay
                  : name == "late" ? FaultAction::kLate
                                   : FaultAction::kDuplicate;
    rule.delay = std::chrono::milliseconds(*delay);
    return true;
  }
  if (name == "cut") {
    const auto cutAt = Number(value, 1, kMaxMessageLength - 1);
    if (!cutAt) return false;
    rule.action = FaultAction::kCut;
    rule.cutAt = static_cast<uint32_t>(*cutAt);
    return true;
  }
  if (name == "refuse-read" || name == "short-read") {
    const auto limit = Number(value, 0, kMaxLen2);
    if (!limit) return false;
    rule.action = name == "refuse-read" ? FaultAction::kRefuseRead : FaultAction::kShortRead;
    rule.readsOver = static_cast<uint32_t>(*limit);
    return true;
  }
  return false;
}

}  // namespace

bool FaultRule::Matches(RequestKind requestKind, uint32_t requestAddress,
                        uint32_t byteCount) const {
  if (address && *address != requestAddress) return false;
  if (kind && *kind != requestKind) return false;
  return !readsOver || byteCount > *readsOver;
}

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

FaultRule FaultRule::LimitReads(FaultAction action, uint32_t limit) {
  FaultRule rule;
  rule.action = action;
  rule.kind = RequestKind::kReadFlash;
  rule.count = kForever;
  rule.readsOver = limit;
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
        return Fail(error,
                    "unknown fault action '" + std::string(parts[i]) +
                        "' (drop, duplicate[=MS], ignore, status=N, delay=MS or late=MS (up to "
                        "60000), corrupt-crc, lie, store-wrong, refuse-read=N, "
                        "short-read=N, done, cut=N, stale)");
      }
    } else if (name == "kind") {
      const auto kind = RequestKindFromName(value);
      if (!kind || !IsAnswered(*kind)) {
        return Fail(error, "unknown request kind '" + std::string(value) +
                               "' (identity, begin, erase, write, read, finish, unknown)");
      }
      rule.kind = kind;
    } else if (name == "at") {
      const auto address = Number(value, 0, std::numeric_limits<uint32_t>::max());
      if (!address) return Fail(error, "at needs an address, not '" + std::string(value) + "'");
      rule.address = static_cast<uint32_t>(*address);
    } else if (name == "over") {
      const auto over = Number(value, 0, kMaxLen2);
      if (!over) return Fail(error, "over needs a byte count, not '" + std::string(value) + "'");
      rule.readsOver = static_cast<uint32_t>(*over);
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
  if (rule.readsOver &&
      OnlyKind(rule.action).value_or(RequestKind::kReadFlash) != RequestKind::kReadFlash) {
    return Fail(error, std::string(parts[0]) + " cannot take over=N, which keeps to reads");
  }
  const std::optional<RequestKind> only =
      rule.readsOver ? RequestKind::kReadFlash : OnlyKind(rule.action);
  if (only) {
    if (rule.kind && *rule.kind != *only) {
      return Fail(error, std::string(OnlyKind(rule.action) ? parts[0] : "over") + " acts on " +
                             std::string(RequestKindName(*only)) + " requests only");
    }
    rule.kind = only;
  }
  return rule;
}

}  // namespace tarn::sim
