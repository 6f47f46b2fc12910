#pragma once
// The framework's synchronisation classes, portable. Each owns its state and
// cannot be copied. Every timed wait goes through one function (sync.cpp), which
// applies the time scale of time_scale.h; INFINITE waits are never scaled.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "afx/time_scale.h"
#include "afx/win_types.h"

class CSyncObject {
 public:
  CSyncObject() = default;
  CSyncObject(const CSyncObject&) = delete;
  CSyncObject& operator=(const CSyncObject&) = delete;
  virtual ~CSyncObject() = default;

  // TRUE when acquired (or signalled) within `timeout` milliseconds.
  virtual BOOL Lock(DWORD timeout = INFINITE) = 0;
  virtual BOOL Unlock() = 0;
};

// A signal one thread sets and another waits for. Auto-reset (the default) hands
// each SetEvent to exactly one successful wait; manual-reset stays set until ResetEvent.
class CEvent : public CSyncObject {
 public:
  explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE)
      : m_signalled(initiallyOwn != FALSE), m_manualReset(manualReset != FALSE) {}

  BOOL SetEvent();
  BOOL ResetEvent();
  BOOL Lock(DWORD timeout = INFINITE) override;  // waits for the signal; consumes it when auto-reset
  BOOL Unlock() override { return TRUE; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_signalled = false;
  const bool m_manualReset = false;
};

// A recursive lock that may be waited for with a limit (used for the packet dispatch).
class CMutex : public CSyncObject {
 public:
  explicit CMutex(BOOL initiallyOwn = FALSE);

  BOOL Lock(DWORD timeout = INFINITE) override;
  BOOL Unlock() override;  // FALSE when the calling thread does not own it

 private:
  std::mutex m_mutex;
  std::condition_variable m_released;
  std::thread::id m_owner;
  unsigned m_depth = 0;
};

// A recursive lock without a limit, for short sections that guard shared data.
class CCriticalSection : public CSyncObject {
 public:
  BOOL Lock(DWORD = INFINITE) override {
    m_mutex.lock();
    return TRUE;
  }
  BOOL Unlock() override {
    m_mutex.unlock();
    return TRUE;
  }

 private:
  std::recursive_mutex m_mutex;
};

// Scoped ownership of a CSyncObject: whatever it locked is unlocked on every path out.
class CSingleLock {
 public:
  explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE) : m_object(object) {
    if (initialLock) Lock();
  }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;
  ~CSingleLock() { Unlock(); }

  BOOL Lock(DWORD timeout = INFINITE) {
    if (!m_locked && m_object->Lock(timeout)) m_locked = true;
    return m_locked ? TRUE : FALSE;
  }
  BOOL Unlock() {
    if (m_locked) {
      m_object->Unlock();
      m_locked = false;
    }
    return TRUE;
  }
  BOOL IsLocked() const { return m_locked ? TRUE : FALSE; }

 private:
  CSyncObject* m_object;
  bool m_locked = false;
};

namespace afx::detail {
// The one place where a timed wait happens: waits on `condition` until `ready()`
// or until `timeout` milliseconds of product time have passed. Returns ready().
template <typename Ready>
bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, DWORD timeout,
             Ready ready) {
  if (timeout == INFINITE) {
    condition.wait(lock, ready);
    return true;
  }
  return condition.wait_until(lock, std::chrono::steady_clock::now() + afx::Scaled(timeout), ready);
}
}  // namespace afx::detail
