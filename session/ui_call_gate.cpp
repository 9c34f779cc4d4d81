#include "session/ui_call_gate.h"

#include <utility>

namespace tarn {

UiCallGate::UiCallGate(PostFunction post) : m_post(std::move(post)) {}

bool UiCallGate::State::IsClosed() const {
  std::lock_guard lock(mutex);
  return closed;
}

void UiCallGate::Post(std::function<void()> call) {
  if (m_state->IsClosed()) return;
  m_post([state = m_state, call = std::move(call)] {
    if (!state->IsClosed()) call();
  });
}

void UiCallGate::Run(std::function<void()> call) {
  if (m_state->IsClosed()) return;
  // Shared with the posted call: it may run after this wait has given up.
  auto finished = std::make_shared<bool>(false);
  m_post([state = m_state, finished, call = std::move(call)] {
    if (!state->IsClosed()) call();
    {
      std::lock_guard lock(state->mutex);
      *finished = true;
    }
    state->changed.notify_all();
  });
  std::unique_lock lock(m_state->mutex);
  m_state->changed.wait(lock, [&] { return *finished || m_state->closed; });
}

void UiCallGate::Close() {
  {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
  }
  m_state->changed.notify_all();
}

bool UiCallGate::IsClosed() const {
  return m_state->IsClosed();
}

}  // namespace tarn
