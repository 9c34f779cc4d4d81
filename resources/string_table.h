// The user-visible texts, by numeric id. Looked up at the moment they are shown.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn {

namespace ids {
inline constexpr int32_t kAboutMenuItem = 101;
inline constexpr int32_t kTimeOut1 = 102;
inline constexpr int32_t kTimeOut2 = 103;
inline constexpr int32_t kTimeOut3 = 104;
inline constexpr int32_t kIllegalDevice = 105;
inline constexpr int32_t kUseUpdateMode = 106;
inline constexpr int32_t kTransferError = 107;
inline constexpr int32_t kUpdateCompleted = 108;
inline constexpr int32_t kInProgress = 109;
inline constexpr int32_t kCantOpenMidiIn = 110;
inline constexpr int32_t kErrorCaption = 111;
inline constexpr int32_t kCantOpenMidiOut = 113;
inline constexpr int32_t kErasing = 114;
inline constexpr int32_t kDataTransmit = 115;  // two %d: offset, total
inline constexpr int32_t kImageMissing = 120;  // one %d: the image id
inline constexpr int32_t kCantStartUpdate = 121;
inline constexpr int32_t kVerifyStep = 122;  // the step box while the flash is read back
inline constexpr int32_t kVerifying = 123;   // two %d: bytes verified, bytes written
inline constexpr int32_t kNotVerified = 124;
inline constexpr int32_t kStepCounter = 125;  // two %d: step, step count
inline constexpr int32_t kStopUpdate = 126;   // the question before closing mid-update
inline constexpr int32_t kNoInstanceLock = 127;
inline constexpr int32_t kStandInRefused = 140;   // the stand-in set and a port of a real device
inline constexpr int32_t kStandInSet = 141;       // the About box's note on the stand-in set
inline constexpr int32_t kNotVerifiedInfo = 135;  // the dialogs' box after an unverified update
inline constexpr int32_t kShutdownBlocked = 142;  // why log-off and shutdown wait
// Why no lock can be kept; each names its file or folder in every %s.
inline constexpr int32_t kLockFileForeign = 143;
inline constexpr int32_t kLockFileNotPlain = 144;
inline constexpr int32_t kLockFileUnusable = 145;
inline constexpr int32_t kLockFolderNotPrivate = 146;
inline constexpr int32_t kLockFolderMissing = 147;
inline constexpr int32_t kLockFileNotLockable = 148;
}  // namespace ids

// A text of the table as the engine means it: its id and the values of its %d placeholders, in
// order. Id 0 is no text at all (a cleared status line).
struct TextRef {
  int32_t id = 0;
  std::vector<int32_t> args;
  bool operator==(const TextRef&) const = default;
};

// One text of the table.
struct StringEntry {
  int32_t id;
  const char* text;
};

// Every text of the table, in ascending order of id (for the Windows resource script).
std::span<const StringEntry> StringTable();

// The text of `id`; empty for an id the table does not hold.
std::string LoadString(int32_t id);

// The text of `id` with its %d placeholders filled in order.
std::string FormatString(int32_t id, int32_t first);
std::string FormatString(int32_t id, int32_t first, int32_t second);
// The text of `id` with each %s replaced by `text`, taken as it is (a path may hold a '%').
std::string FormatString(int32_t id, const std::string& text);
// The text `text` stands for; empty for id 0.
std::string FormatText(const TextRef& text);

}  // namespace tarn
