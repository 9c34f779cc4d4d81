#include "midi/platform/registry.h"

#include <algorithm>
#include <cstring>

#include "midi/platform/loopback/loopback_backend.h"
#include "midi/platform/platform.h"

#if TARN_WITH_ALSA
#include "midi/platform/alsa/alsa_backend.h"
#endif
#if TARN_WITH_JACK
#include "midi/platform/jack/jack_backend.h"
#endif
#if TARN_WITH_WINMM
#include "midi/platform/windows/system_backend.h"
#endif

namespace tarn::platform {

std::vector<std::unique_ptr<Backend>> DefaultBackends() {
  std::vector<std::unique_ptr<Backend>> backends;
#if TARN_WITH_ALSA
  backends.push_back(MakeAlsaBackend());
#endif
#if TARN_WITH_JACK
  backends.push_back(MakeJackBackend());
#endif
#if TARN_WITH_WINMM
  backends.push_back(MakeSystemBackend());
#endif
  return backends;
}

void SetBackends(std::vector<std::unique_ptr<Backend>> backends) {
  DeviceRegistry::Instance().SetBackends(std::move(backends));
}

DeviceRegistry& DeviceRegistry::Instance() {
  static DeviceRegistry registry;
  return registry;
}

DeviceRegistry::DeviceRegistry() : m_loopback(MakeLoopbackBackend()) {}

void DeviceRegistry::SetBackends(std::vector<std::unique_ptr<Backend>> backends) {
  std::vector<std::shared_ptr<Backend>> shared;
  for (auto& backend : backends)
    shared.push_back(std::move(backend));
  std::lock_guard lock(m_mutex);
  m_backends = std::move(shared);
  // Indices of the old backends' devices mean nothing now.
  m_inputs.reset();
  m_outputs.reset();
}

UINT DeviceRegistry::CountInputs() {
  std::lock_guard lock(m_mutex);
  m_inputs = TakeSnapshotLocked(true);
  return static_cast<UINT>(m_inputs->size());
}

UINT DeviceRegistry::CountOutputs() {
  std::lock_guard lock(m_mutex);
  m_outputs = TakeSnapshotLocked(false);
  return static_cast<UINT>(m_outputs->size());
}

std::optional<RegisteredDevice> DeviceRegistry::Input(UINT_PTR index) {
  std::lock_guard lock(m_mutex);
  if (!m_inputs) m_inputs = TakeSnapshotLocked(true);
  if (index >= m_inputs->size()) return std::nullopt;
  return (*m_inputs)[index];
}

std::optional<RegisteredDevice> DeviceRegistry::Output(UINT_PTR index) {
  std::lock_guard lock(m_mutex);
  if (!m_outputs) m_outputs = TakeSnapshotLocked(false);
  if (index >= m_outputs->size()) return std::nullopt;
  return (*m_outputs)[index];
}

std::vector<std::shared_ptr<Backend>> DeviceRegistry::Backends() {
  std::lock_guard lock(m_mutex);
  return BackendsLocked();
}

std::vector<std::shared_ptr<Backend>> DeviceRegistry::BackendsLocked() {
  if (!m_backends) {
    m_backends.emplace();
    for (auto& backend : DefaultBackends())
      m_backends->push_back(std::move(backend));
  }
  std::vector<std::shared_ptr<Backend>> all{m_loopback};
  all.insert(all.end(), m_backends->begin(), m_backends->end());
  return all;
}

std::vector<RegisteredDevice> DeviceRegistry::TakeSnapshotLocked(bool inputs) {
  std::vector<RegisteredDevice> snapshot;
  for (const auto& backend : BackendsLocked()) {
    for (auto& info : inputs ? backend->Inputs() : backend->Outputs()) {
      snapshot.push_back({backend, std::move(info)});
    }
  }
  return snapshot;
}

namespace {

PortIdentity IdentityOf(const RegisteredDevice& port) {
  CHAR name[MAXPNAMELEN];
  CopyProductName(port.info.name, name);
  return {name, port.backend->Name() + "/" + port.backend->DeviceOf(port.info),
          port.backend->InProcess()};
}

std::vector<PortIdentity> PortsOf(UINT count, std::optional<RegisteredDevice> (&port)(UINT_PTR)) {
  std::vector<PortIdentity> ports;
  for (UINT index = 0; index < count; ++index) {
    if (const auto found = port(index)) ports.push_back(IdentityOf(*found));
  }
  return ports;
}

std::optional<RegisteredDevice> InputAt(UINT_PTR index) {
  return DeviceRegistry::Instance().Input(index);
}

std::optional<RegisteredDevice> OutputAt(UINT_PTR index) {
  return DeviceRegistry::Instance().Output(index);
}

}  // namespace

std::vector<PortIdentity> InputPorts() {
  return PortsOf(DeviceRegistry::Instance().CountInputs(), InputAt);
}

std::vector<PortIdentity> OutputPorts() {
  return PortsOf(DeviceRegistry::Instance().CountOutputs(), OutputAt);
}

std::optional<PortIdentity> InputPort(size_t index) {
  const auto found = InputAt(index);
  if (!found) return std::nullopt;
  return IdentityOf(*found);
}

std::optional<PortIdentity> OutputPort(size_t index) {
  const auto found = OutputAt(index);
  if (!found) return std::nullopt;
  return IdentityOf(*found);
}

void CopyProductName(const std::string& name, CHAR (&field)[MAXPNAMELEN]) {
  size_t length = std::min(name.size(), size_t{MAXPNAMELEN - 1});
  // Back off continuation bytes (10xxxxxx) so that no character is cut in half.
  if (length < name.size()) {
    while (length > 0 && (static_cast<uint8_t>(name[length]) & 0xC0) == 0x80)
      --length;
  }
  std::memcpy(field, name.data(), length);
  field[length] = '\0';
}

}  // namespace tarn::platform
