// Windows only: the system's own MIDI devices, numbered after the loopback like any backend's.
// They are listed here but never opened through the backend: the router opens them with the
// system's own calls, by the system index a device keeps in its id.
#pragma once

#include <memory>
#include <optional>

#include "midi/platform/backend.h"
#include "midi/platform/registry.h"

namespace tarn::platform {

std::unique_ptr<Backend> MakeSystemBackend();

bool IsSystemBackend(const Backend& backend);

// The system's own index of a registered device, or nothing for another backend's device.
std::optional<UINT> SystemDeviceIndex(const RegisteredDevice& device);

}  // namespace tarn::platform
