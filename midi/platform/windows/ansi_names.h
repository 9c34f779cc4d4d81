// WinMM's ANSI names in UTF-8, as every port name is carried: the names of the ...A calls are in
// the system's ANSI code page (CP932 on Japanese Windows).
#pragma once

#include <string>
#include <string_view>

namespace tarn::platform {

// `bytes` of code page `codePage` as UTF-8; a sequence the code page does not hold becomes
// U+FFFD. CP_ACP for the names WinMM gives.
std::string CodePageToUtf8(unsigned codePage, std::string_view bytes);

}  // namespace tarn::platform
