// How long sending a whole message may take, for the port that waits for a send and for our
// platform layer that carries it: one bound for both.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tarn::platform {

// MIDI's 31250 baud, ten bits a byte.
inline constexpr int64_t kWireBytesPerSecond = 3125;
// The longest a send may take beyond its own wire time before it counts as failed.
inline constexpr std::chrono::milliseconds kDefaultSendTimeout{5000};

// How long `bytes` take on a MIDI cable.
constexpr std::chrono::milliseconds WireTime(size_t bytes) {
  return std::chrono::milliseconds(static_cast<int64_t>(bytes) * 1000 / kWireBytesPerSecond);
}

}  // namespace tarn::platform
