#include "app/ui_call_gate.h"

#include <memory>

namespace tarn {

void UiCallGate::Post(std::function<void()> call) {
  if (IsClosed()) return;
  QMetaObject::invokeMethod(
      m_receiver,
      [this, call = std::move(call)] {
        if (!IsClosed()) call();
      },
      Qt::QueuedConnection);
}

void UiCallGate::Run(std::function<void()> call) {
  // Shared with the queued call: it may run after this wait has given up.
  auto finished = std::make_shared<bool>(false);
  if (IsClosed()) return;
  QMetaObject::invokeMethod(
      m_receiver,
      [this, finished, call = std::move(call)] {
        if (!IsClosed()) call();
        {
          std::lock_guard lock(m_mutex);
          *finished = true;
        }
        m_changed.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [&] { return *finished || m_closed; });
}

void UiCallGate::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_closed = true;
  }
  m_changed.notify_all();
}

bool UiCallGate::IsClosed() const {
  std::lock_guard lock(m_mutex);
  return m_closed;
}

}  // namespace tarn
