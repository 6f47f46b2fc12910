#include "afx/sync.h"

BOOL CEvent::SetEvent() {
  // Notify under the lock: a woken waiter may destroy the event as soon as it can take it.
  std::lock_guard<std::mutex> guard(m_mutex);
  m_signalled = true;
  if (m_manualReset) {
    m_changed.notify_all();
  } else {
    m_changed.notify_one();
  }
  return TRUE;
}

BOOL CEvent::ResetEvent() {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_signalled = false;
  return TRUE;
}

BOOL CEvent::Lock(DWORD timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!afx::detail::WaitFor(m_changed, lock, timeout, [this] { return m_signalled; })) return FALSE;
  if (!m_manualReset) m_signalled = false;
  return TRUE;
}

BOOL CEvent::LockUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!afx::detail::WaitUntil(m_changed, lock, deadline, [this] { return m_signalled; })) return FALSE;
  if (!m_manualReset) m_signalled = false;
  return TRUE;
}

void afx::Sleep(std::uint32_t milliseconds) {
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(mutex);
  afx::detail::WaitFor(never, lock, milliseconds, [] { return false; });
}
