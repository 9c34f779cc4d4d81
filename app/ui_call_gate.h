// Carries calls from a worker thread to the UI thread that owns a window, and cuts them off
// when the window closes: from then on nothing is carried, and a worker waiting for a call to
// finish is let go at once, so the UI thread can wait for the worker without a deadlock.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace tarn {

class UiCallGate {
 public:
  // `receiver` lives on the UI thread and outlives the gate. Calls still queued when it is
  // destroyed are dropped with it.
  explicit UiCallGate(QObject* receiver) : m_receiver(receiver) {}
  UiCallGate(const UiCallGate&) = delete;
  UiCallGate& operator=(const UiCallGate&) = delete;

  // Runs `call` on the UI thread later, unless the gate has closed by then.
  void Post(std::function<void()> call);
  // Runs `call` on the UI thread and returns when it has returned, or at once when the gate
  // closes first. Never called on the UI thread itself.
  void Run(std::function<void()> call);
  // UI thread: nothing runs from now on and every waiting Run returns.
  void Close();
  bool IsClosed() const;

 private:
  QObject* m_receiver;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_closed = false;
};

}  // namespace tarn
