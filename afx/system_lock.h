#pragma once
// A lock with a name, shared by every process of the session (a `Global\` name: by
// every session) on Windows and by every object of the process elsewhere. Use it
// when copies of a program must take turns at something outside them.
//
// As a Win32 mutex, it belongs to the thread that took it: only that thread can
// release it, a release from any other does nothing, and a thread that ends still
// holding it leaves it abandoned, free for the next taker. Variants:
// system_lock_win.cpp (a named mutex), system_lock_portable.cpp (the name emulated
// across the process, so that native tests catch a release on the wrong thread).
#include <cstdint>
#include <string>

#include "afx/win_types.h"

class SystemLock {
 public:
  explicit SystemLock(const char* name) : m_name(name) {}
  // Releases the lock when the calling thread holds it.
  ~SystemLock();
  SystemLock(const SystemLock&) = delete;
  SystemLock& operator=(const SystemLock&) = delete;

  // Takes the lock without waiting. True when the calling thread holds it through
  // this object now, also when it already did; false while any other holds it.
  bool TryAcquire();
  // Lets go of it when taken by this object on the calling thread; else nothing.
  void Release();
  bool IsHeld() const { return m_held; }

 private:
  const std::string m_name;
  bool m_held = false;
#ifdef _WIN32
  HANDLE m_handle = nullptr;  // open only while held, so that an idle copy keeps no mutex alive
  DWORD m_owner = 0;          // the thread that took it
#else
  std::uint64_t m_owner = 0;
#endif
};
