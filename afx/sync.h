#pragma once
// The framework's synchronisation classes, portable. Each owns its state and
// cannot be copied. Every timed wait goes through one function (WaitUntil below)
// with a deadline from afx::Deadline, which applies the time scale of
// time_scale.h; INFINITE waits are never scaled.
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "afx/thread_annotations.h"
#include "afx/time_scale.h"
#include "afx/win_types.h"

// A signal one thread sets and another waits for. Auto-reset (the default) hands
// each SetEvent to exactly one successful wait; manual-reset stays set until ResetEvent.
class CEvent {
 public:
  explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE)
      : m_signalled(initiallyOwn != FALSE), m_manualReset(manualReset != FALSE) {}
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  BOOL SetEvent();
  BOOL ResetEvent();
  // TRUE when signalled within `timeout` milliseconds of product time; consumes the signal when auto-reset.
  BOOL Lock(DWORD timeout = INFINITE);
  // The same with a deadline from afx::Deadline.
  BOOL LockUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_signalled = false;
  const bool m_manualReset = false;
};

// A lock for short sections that guard shared data. The programs never wait for
// one with a limit, so Lock waits as long as it takes. Not recursive: no path
// takes a lock it holds (the thread-safety analysis checks the annotated ones,
// and a debug build stops at the second Lock instead of hanging).
class CAPABILITY("mutex") CCriticalSection {
 public:
  CCriticalSection() = default;
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  BOOL Lock() ACQUIRE() {
    assert(m_owner.load() != std::this_thread::get_id() && "lock taken again on the thread that holds it");
    m_mutex.lock();
    m_owner = std::this_thread::get_id();
    return TRUE;
  }
  BOOL Unlock() RELEASE() {
    m_owner = std::thread::id();
    m_mutex.unlock();
    return TRUE;
  }

 private:
  std::mutex m_mutex;
  std::atomic<std::thread::id> m_owner{};  // the holder, for the debug check
};

// The same lock under the name the packet dispatch knows it by.
class CMutex : public CCriticalSection {};

// Scoped ownership of a lock, taken at once: whatever it locked is unlocked on
// every path out. Unlock and Lock again within the scope are allowed.
class SCOPED_CAPABILITY CSingleLock {
 public:
  // `initialLock` must be TRUE: the analysis knows no lock taken later by choice.
  CSingleLock(CCriticalSection* object, BOOL initialLock) ACQUIRE(object) : m_object(object) {
    assert(initialLock);
    static_cast<void>(initialLock);
    Lock();
  }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;
  ~CSingleLock() RELEASE() { Unlock(); }

  BOOL Lock() ACQUIRE() {
    if (!m_locked) m_locked = m_object->Lock() != FALSE;
    return TRUE;
  }
  BOOL Unlock() RELEASE() {
    if (m_locked) m_object->Unlock();
    m_locked = false;
    return TRUE;
  }

 private:
  CCriticalSection* m_object;
  bool m_locked = false;
};

namespace afx::detail {
// The one place where a timed wait happens: waits on `condition` until `ready()`
// or until `deadline` (from afx::Deadline, so already scaled). Returns ready().
template <typename Ready>
bool WaitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
               std::chrono::steady_clock::time_point deadline, Ready ready) {
  return condition.wait_until(lock, deadline, ready);
}

// Waits on `condition` until `ready()` or until `timeout` milliseconds of product
// time have passed. Returns ready().
template <typename Ready>
bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, DWORD timeout,
             Ready ready) {
  if (timeout == INFINITE) {
    condition.wait(lock, ready);
    return true;
  }
  return WaitUntil(condition, lock, afx::Deadline(timeout), ready);
}
}  // namespace afx::detail
