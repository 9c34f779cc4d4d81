// Open devices by handle. Handles are numbers that are never reused, so a stale handle is
// refused instead of reaching another device; callers hold a device while they use it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace tarn::platform {

template <typename Handle, typename Device>
class HandleTable {
 public:
  Handle Add(std::shared_ptr<Device> device) {
    std::lock_guard lock(m_mutex);
    const uintptr_t number = ++m_last;
    m_devices.emplace(number, std::move(device));
    return reinterpret_cast<Handle>(number);
  }

  std::shared_ptr<Device> Find(Handle handle) {
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(reinterpret_cast<uintptr_t>(handle));
    return found == m_devices.end() ? nullptr : found->second;
  }

  void Remove(Handle handle) {
    std::lock_guard lock(m_mutex);
    m_devices.erase(reinterpret_cast<uintptr_t>(handle));
  }

 private:
  std::mutex m_mutex;
  std::map<uintptr_t, std::shared_ptr<Device>> m_devices;
  uintptr_t m_last = 0;
};

}  // namespace tarn::platform
