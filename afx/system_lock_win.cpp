// SystemLock over a named Win32 mutex.
#include "afx/system_lock.h"

SystemLock::~SystemLock() {
  Release();
  // Taken on a thread other than this one: the mutex stays that thread's until it ends.
  if (m_handle != nullptr) ::CloseHandle(m_handle);
}

bool SystemLock::TryAcquire() {
  const DWORD self = ::GetCurrentThreadId();
  if (m_held && m_owner == self) return true;
  if (m_handle == nullptr) {
    // Access denied: a copy of another user made the mutex, and it exists only while a copy keeps it.
    m_handle = ::CreateMutexA(nullptr, FALSE, m_name.c_str());
    if (m_handle == nullptr) return false;
  }
  const DWORD result = ::WaitForSingleObject(m_handle, 0);
  // Abandoned: its holder ended without a release (a killed copy); the lock is ours now.
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
    m_held = true;
    m_owner = self;
    return true;
  }
  if (!m_held) {
    ::CloseHandle(m_handle);
    m_handle = nullptr;
  }
  return false;
}

void SystemLock::Release() {
  // The mutex is its owning thread's, whatever the handle: a thread that holds it
  // through another object must not release it through this one.
  if (!m_held || m_owner != ::GetCurrentThreadId() || !::ReleaseMutex(m_handle)) return;
  m_held = false;
  ::CloseHandle(m_handle);
  m_handle = nullptr;
}
