// A header's flags are written by the platform and read by the port on another thread.
#pragma once

#include <atomic>

#include "midi/platform/winmm.h"

namespace tarn::platform {

inline DWORD LoadFlags(const MIDIHDR* header) {
  return std::atomic_ref<DWORD>(const_cast<MIDIHDR*>(header)->dwFlags)
      .load(std::memory_order_acquire);
}

inline void SetFlags(MIDIHDR* header, DWORD flags) {
  std::atomic_ref<DWORD>(header->dwFlags).fetch_or(flags, std::memory_order_acq_rel);
}

inline void ClearFlags(MIDIHDR* header, DWORD flags) {
  std::atomic_ref<DWORD>(header->dwFlags).fetch_and(~flags, std::memory_order_acq_rel);
}

}  // namespace tarn::platform
