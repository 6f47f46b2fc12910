#pragma once
// The framework's worker threads, portable: AfxBeginThread and CWinThread.
// A thread may be abandoned instead of killed (killing one that holds a lock
// would leave the lock held): it keeps its own object alive and deletes it when
// its function returns.
#include <condition_variable>
#include <mutex>

#include "afx/win_types.h"

using AFX_THREADPROC = UINT (*)(void* parameter);

class CWinThread {
 public:
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;
  ~CWinThread() = default;

  // Starts a thread created with CREATE_SUSPENDED. Returns the previous suspend count (1), or 0.
  DWORD ResumeThread();

  // Waits up to `timeout` milliseconds of product time for the thread function to
  // return: WAIT_OBJECT_0 when it has (also long before the call), else WAIT_TIMEOUT.
  DWORD WaitForEnd(DWORD timeout);

  // Gives the object to the running thread, which deletes it when it ends. The
  // caller must not touch it afterwards. Used for threads nobody waits for, and
  // for a thread that did not stop in time.
  void Abandon();

  // TRUE (the default): the object deletes itself when the thread ends, as the
  // upgrade thread's does. Set FALSE before ResumeThread to keep it for WaitForEnd.
  BOOL m_bAutoDelete = TRUE;

 private:
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, void*, int, UINT, DWORD, void*);
  CWinThread(AFX_THREADPROC procedure, void* parameter, int priority);
  static void Run(CWinThread* self);

  AFX_THREADPROC m_procedure;
  void* m_parameter;
  [[maybe_unused]] int m_priority;  // read by the Windows build only
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_started = false;
  bool m_ended = false;
  bool m_abandoned = false;
};

// Creates a thread running `procedure(parameter)`. With CREATE_SUSPENDED it
// waits for ResumeThread. `priority` is applied on Windows; native builds keep
// the default (raising it needs privileges there). Null only when no thread can be made.
CWinThread* AfxBeginThread(AFX_THREADPROC procedure, void* parameter, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0, void* security = nullptr);
