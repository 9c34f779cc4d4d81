// The user-visible texts, by numeric id. Looked up at the moment they are shown.
#pragma once

#include <cstdint>
#include <string>

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
inline constexpr int32_t kDataTransmit = 115;   // two %d: offset, total
inline constexpr int32_t kImageMissing = 120;   // one %d: the image id
inline constexpr int32_t kCantStartUpdate = 121;
}  // namespace ids

// The text of `id`; empty for an id the table does not hold.
std::string LoadString(int32_t id);

// The text of `id` with its %d placeholders filled in order.
std::string FormatString(int32_t id, int32_t first);
std::string FormatString(int32_t id, int32_t first, int32_t second);

}  // namespace tarn
