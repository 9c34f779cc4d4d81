// Deterministic faults of the virtual device. A rule matches requests of one kind (or every
// request the device answers), lets the first `skip` matching requests through, and then acts
// on the next `count` of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "sim/request_kind.h"

namespace tarn::sim {

enum class FaultAction : int32_t {
  kDropAnswer,  // the request is carried out, its answer is lost
  kIgnore,      // the request is neither carried out nor answered (a hung device)
  kStatus,      // refused: answered with DeviceStatus `status`, nothing carried out
  kDelay,       // carried out, answered `delay` later than usual
  kCorruptCrc,  // read replies carry a wrong checksum
};

inline constexpr int32_t kForever = std::numeric_limits<int32_t>::max();

struct FaultRule {
  FaultAction action = FaultAction::kDropAnswer;
  std::optional<RequestKind> kind;  // none: every request the device answers
  int32_t skip = 0;
  int32_t count = 1;
  uint8_t status = 0;
  std::chrono::milliseconds delay{0};

  static FaultRule DropAnswers(int32_t count, std::optional<RequestKind> kind = std::nullopt);
  static FaultRule AnswerWithStatus(RequestKind kind, uint8_t status, int32_t count);
  static FaultRule CorruptReadReplies(int32_t count);
  // Silent from the `nth` answered request on (1 = the first).
  static FaultRule SilentFrom(int32_t nth);
  // The answer to the request of `kind` that comes after `skip` others of that kind.
  static FaultRule DelayAnswer(RequestKind kind, int32_t skip, std::chrono::milliseconds delay);
};

// A rule from its command-line form: an action, then comma-separated options.
//   drop | ignore | status=N | delay=MS | corrupt-crc
//   [,kind=identity|begin|erase|write|read|finish|unknown] [,skip=N] [,count=N|all]
// e.g. "status=1,kind=write,count=32", "ignore,skip=99,count=all", "delay=1050,kind=write,skip=5".
// Nothing when the text is not such a rule; `error` then says why.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error = nullptr);

}  // namespace tarn::sim
