// tarn-device-sim: the line after the flash check, on the blocks the host wrote.
#pragma once

#include <span>
#include <string>

#include "sim/device_log.h"

namespace tarn::sim {

// How many WriteBlock requests arrived, and how many of them named the address of the first
// one, e.g. "write requests: 32, 32 of them for the first block (0x00000000)": a host that
// kept retrying one block shows here.
std::string WriteRequestSummary(std::span<const ReceivedMessage> received);

}  // namespace tarn::sim
