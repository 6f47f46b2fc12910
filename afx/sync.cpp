#include "afx/sync.h"

using afx::detail::WaitFor;

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
  if (!WaitFor(m_changed, lock, timeout, [this] { return m_signalled; })) return FALSE;
  if (!m_manualReset) m_signalled = false;
  return TRUE;
}

CMutex::CMutex(BOOL initiallyOwn) {
  if (initiallyOwn) {
    m_owner = std::this_thread::get_id();
    m_depth = 1;
  }
}

BOOL CMutex::Lock(DWORD timeout) {
  const auto self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_depth > 0 && m_owner == self) {
    ++m_depth;
    return TRUE;
  }
  if (!WaitFor(m_released, lock, timeout, [this] { return m_depth == 0; })) return FALSE;
  m_owner = self;
  m_depth = 1;
  return TRUE;
}

BOOL CMutex::Unlock() {
  std::lock_guard<std::mutex> guard(m_mutex);  // held while notifying, as in SetEvent
  if (m_depth == 0 || m_owner != std::this_thread::get_id()) return FALSE;
  if (--m_depth > 0) return TRUE;
  m_owner = std::thread::id();
  m_released.notify_one();
  return TRUE;
}
