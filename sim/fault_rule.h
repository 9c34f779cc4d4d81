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

#include "sysex/request_kind.h"

namespace tarn::sim {

enum class FaultAction : int32_t {
  kDropAnswer,  // the request is carried out, its answer is lost
  kIgnore,      // the request is neither carried out nor answered (a hung device)
  kStatus,      // refused: answered with DeviceStatus `status`, nothing carried out
  kDelay,       // carried out, answered `delay` later than usual; the answers behind it wait
  kCorruptCrc,  // read replies carry a wrong checksum
  kDuplicate,   // carried out, answered twice: back to back, or the copy `delay` later
                //   out of the stream
  kLie,         // a WriteBlock answered with status 0 and not stored
  kRefuseRead,  // a read of more than `readsOver` bytes answered with status 0x02
  kShortRead,   // a read of more than `readsOver` bytes answered with only that many
  kLate,        // carried out, answered `delay` later, out of the stream: those behind go on
  kStoreWrong,  // a WriteBlock stored with one byte wrong and answered with status 0
  kDone,        // answered with a Done message instead, nothing carried out
  kCut,         // carried out, its answer cut after `cutAt` bytes and closed
  kStale,       // carried out, answered after what an earlier run left on the wire: two
                //   DeviceStatus 0 and a Done
};

inline constexpr int32_t kForever = std::numeric_limits<int32_t>::max();
inline constexpr std::chrono::milliseconds kLongestDelay{60000};

struct FaultRule {
  FaultAction action = FaultAction::kDropAnswer;
  std::optional<RequestKind> kind;  // none: every request the device answers
  int32_t skip = 0;
  int32_t count = 1;
  uint8_t status = 0;
  std::chrono::milliseconds delay{0};  // kDelay, kLate
  std::optional<uint32_t> readsOver;   // only reads of more bytes match
  std::optional<uint32_t> address;     // only requests that name this flash address match
  uint32_t cutAt = 0;                  // kCut

  // Whether a request of `requestKind` that names `requestAddress` and `byteCount` bytes is one
  // this rule counts.
  bool Matches(RequestKind requestKind, uint32_t requestAddress, uint32_t byteCount) const;

  static FaultRule DropAnswers(int32_t count, std::optional<RequestKind> kind = std::nullopt);
  static FaultRule AnswerWithStatus(RequestKind kind, uint8_t status, int32_t count);
  static FaultRule CorruptReadReplies(int32_t count);
  // Silent from the `nth` answered request on (1 = the first).
  static FaultRule SilentFrom(int32_t nth);
  // The answer to the request of `kind` that comes after `skip` others of that kind.
  static FaultRule DelayAnswer(RequestKind kind, int32_t skip, std::chrono::milliseconds delay);
  // Every read of more than `limit` bytes, refused or answered short (kRefuseRead, kShortRead).
  static FaultRule LimitReads(FaultAction action, uint32_t limit);
};

// A rule from its command-line form: an action, then comma-separated options.
//   drop | duplicate[=MS] | ignore | status=N | delay=MS | late=MS | corrupt-crc | lie |
//   store-wrong | refuse-read=N | short-read=N | done | cut=N | stale, then
//   [,kind=identity|begin|erase|write|read|finish|unknown] [,at=ADDRESS] [,over=N] [,skip=N]
//   [,count=N|all]
// e.g. "status=1,kind=write,count=32", "ignore,skip=99,count=all", "delay=1050,kind=write,skip=5",
// "short-read=2,count=all", "lie,at=0x41000", "ignore,over=4,skip=3,count=all". ADDRESS is
// decimal or 0x-hex; over=N keeps to reads of more than N bytes. corrupt-crc, refuse-read,
// short-read and over act on reads only, lie and store-wrong on writes only. Nothing when the
// text is not such a rule; `error` then says why.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string* error = nullptr);

}  // namespace tarn::sim
