// Names from the system (ports, clients) made safe to show: on a terminal no byte of theirs may
// act as a control sequence, and whatever reads the output gets valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tarn::cli {

// `text` with each invalid UTF-8 sequence replaced by U+FFFD and each control character (C0,
// DEL, C1) by '?'.
std::string DisplayText(std::string_view text);

}  // namespace tarn::cli
