// The devices of all backends under one numbering: the loopback first, then the others in
// order. Each count takes a fresh snapshot, and indices refer to it until the next count,
// so a device list and the opens made from it agree even while devices come and go.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "midi/platform/backend.h"
#include "midi/platform/winmm.h"

namespace tarn::platform {

struct RegisteredDevice {
  std::shared_ptr<Backend> backend;
  DeviceInfo info;
};

class DeviceRegistry {
 public:
  static DeviceRegistry& Instance();

  void SetBackends(std::vector<std::unique_ptr<Backend>> backends);

  // New snapshot; its size.
  UINT CountInputs();
  UINT CountOutputs();
  // From the last snapshot (taken now if there is none yet).
  std::optional<RegisteredDevice> Input(UINT_PTR index);
  std::optional<RegisteredDevice> Output(UINT_PTR index);
  // The backends numbered now, the loopback first.
  std::vector<std::shared_ptr<Backend>> Backends();

 private:
  DeviceRegistry();
  std::vector<std::shared_ptr<Backend>> BackendsLocked();
  std::vector<RegisteredDevice> TakeSnapshotLocked(bool inputs);

  std::mutex m_mutex;
  std::shared_ptr<Backend> m_loopback;
  std::optional<std::vector<std::shared_ptr<Backend>>> m_backends;  // defaults until set
  std::optional<std::vector<RegisteredDevice>> m_inputs;
  std::optional<std::vector<RegisteredDevice>> m_outputs;
};

// A product name as the platform's 32-byte name field holds it: at most 31 bytes, cut at a
// character boundary of its UTF-8, and terminated.
void CopyProductName(const std::string& name, CHAR (&field)[MAXPNAMELEN]);

}  // namespace tarn::platform
