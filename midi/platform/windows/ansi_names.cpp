#include "midi/platform/windows/ansi_names.h"

#include <windows.h>

namespace tarn::platform {

std::string CodePageToUtf8(unsigned codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  // Without MB_ERR_INVALID_CHARS a byte the code page does not map becomes a replacement.
  const int wideLength = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (wideLength <= 0) return {};
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), wideLength);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace tarn::platform
