#include "resources/string_table.h"

#include <array>
#include <cstdio>

namespace tarn {
namespace {

constexpr std::array<StringEntry, 32> kTable{{
    {ids::kAboutMenuItem, "About DAXO Tarn Series Updater(&A)..."},
    {ids::kTimeOut1, "Time out error(1)"},
    {ids::kTimeOut2, "Time out error(2)"},
    {ids::kTimeOut3, "Time out error(3)"},
    {ids::kIllegalDevice, "Illegal device connected."},
    {ids::kUseUpdateMode, "Please use the firmware update mode."},
    {ids::kTransferError, "Transfer error occurred."},
    {ids::kUpdateCompleted, "Version update completed."},
    {ids::kInProgress, "In Progress."},
    {ids::kCantOpenMidiIn, "Can't open MIDI In device."},
    {ids::kErrorCaption, "Error"},
    {ids::kCantOpenMidiOut, "Can't open MIDI Out device."},
    {ids::kErasing, "Erasing Flash memory."},
    {ids::kDataTransmit, "Data transmit  %d / %d "},
    {ids::kImageMissing, "Firmware image %d is missing from this updater."},
    {ids::kCantStartUpdate, "Can't start the update."},
    {ids::kVerifyStep, "Verify"},
    {ids::kVerifying, "Verifying flash memory  %d / %d "},
    {ids::kNotVerified, "The device cannot read its flash back: the update was not verified."},
    {ids::kStepCounter, "%d/%d"},
    {ids::kStopUpdate,
     "An update is running. Stopping it now leaves the device without valid firmware until it "
     "is updated again.\n\nStop the update?"},
    {ids::kNoInstanceLock,
     "Can't start: no folder for the instance locks of this updater can be used "
     "(XDG_RUNTIME_DIR or /tmp)."},
    {ids::kStandInRefused,
     "This updater carries only the stand-in firmware image set, which would leave a real "
     "device unable to start, so nothing was sent to the device. Give it the device maker's "
     "image set with --firmware PATH (see the README)."},
    {ids::kStandInSet, "stand-in image set: for the virtual device only"},
    {ids::kNotVerifiedInfo,
     "The update is complete, but this device cannot read its flash memory back, so the update "
     "could not be verified."},
    {ids::kShutdownBlocked,
     "A firmware update is running. Ending the session now leaves the device without valid "
     "firmware."},
    {ids::kLockFileForeign,
     "The lock file %s cannot be opened (permission denied); it was probably left by an "
     "updater run as another user (with sudo). Remove it (sudo rm '%s') and try again."},
    {ids::kLockFileNotPlain,
     "A link or a folder stands where the lock file %s belongs, so no lock can be kept there. "
     "Remove it and try again."},
    {ids::kLockFileUnusable,
     "The lock file %s cannot be made or opened. Check that its folder exists and that you may "
     "write in it, and try again."},
    {ids::kLockFolderNotPrivate,
     "The folder %s is not yours alone (owner or permissions), so no lock can be kept there "
     "safely. Remove it, or set XDG_RUNTIME_DIR to a folder of yours, and try again."},
    {ids::kLockFolderMissing,
     "The folder %s for the lock files cannot be made. Set XDG_RUNTIME_DIR to a folder of "
     "yours and try again."},
    {ids::kLockFileNotLockable,
     "The lock file %s cannot be locked (its file system refuses locks). Set XDG_RUNTIME_DIR "
     "to a local folder of yours and try again."},
}};

const char* Find(int32_t id) {
  for (const StringEntry& entry : kTable) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

template <typename... Args>
std::string Format(int32_t id, Args... args) {
  const char* format = Find(id);
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

}  // namespace

std::span<const StringEntry> StringTable() {
  return kTable;
}

std::string LoadString(int32_t id) {
  return Find(id);
}

std::string FormatString(int32_t id, int32_t first) {
  return Format(id, first);
}

std::string FormatString(int32_t id, int32_t first, int32_t second) {
  return Format(id, first, second);
}

std::string FormatString(int32_t id, const std::string& text) {
  std::string result = Find(id);
  for (size_t at = result.find("%s"); at != std::string::npos; at = result.find("%s", at)) {
    result.replace(at, 2, text);
    at += text.size();
  }
  return result;
}

std::string FormatText(const TextRef& text) {
  if (text.args.empty()) return LoadString(text.id);
  // Always two values: a text with more placeholders than arguments must not read past them.
  return Format(text.id, text.args[0], text.args.size() > 1 ? text.args[1] : 0);
}

}  // namespace tarn
