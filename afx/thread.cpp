#include "afx/thread.h"

#include <thread>

#include "afx/sync.h"

CWinThread::CWinThread(AFX_THREADPROC procedure, void* parameter, int priority)
    : m_procedure(procedure), m_parameter(parameter), m_priority(priority) {}

void CWinThread::Run(CWinThread* self) {
  {
    std::unique_lock<std::mutex> lock(self->m_mutex);
    self->m_changed.wait(lock, [self] { return self->m_started; });
  }
#ifdef _WIN32
  ::SetThreadPriority(::GetCurrentThread(), self->m_priority);
#endif
  self->m_procedure(self->m_parameter);
  bool deleteSelf;
  {
    std::lock_guard<std::mutex> guard(self->m_mutex);
    self->m_ended = true;
    deleteSelf = self->m_abandoned || self->m_bAutoDelete;
    self->m_changed.notify_all();  // under the lock, as in ResumeThread
  }
  if (deleteSelf) delete self;
}

DWORD CWinThread::ResumeThread() {
  // Notify under the lock: a started thread may end and delete this object at once.
  std::lock_guard<std::mutex> guard(m_mutex);
  if (m_started) return 0;
  m_started = true;
  m_changed.notify_all();
  return 1;
}

DWORD CWinThread::WaitForEnd(DWORD timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return afx::detail::WaitFor(m_changed, lock, timeout, [this] { return m_ended; }) ? WAIT_OBJECT_0
                                                                                    : WAIT_TIMEOUT;
}

void CWinThread::Abandon() {
  bool ended;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_abandoned = true;
    ended = m_ended;
  }
  if (ended) delete this;  // the thread has already left Run without deleting us
}

CWinThread* AfxBeginThread(AFX_THREADPROC procedure, void* parameter, int priority, UINT, DWORD createFlags,
                           void*) {
  auto* thread = new CWinThread(procedure, parameter, priority);
  try {
    // Detached: the object, not the system thread, says when the function has
    // returned, and Run touches the object no more once it has said so.
    std::thread(&CWinThread::Run, thread).detach();
  } catch (const std::system_error&) {
    delete thread;
    return nullptr;
  }
  if ((createFlags & CREATE_SUSPENDED) == 0) thread->ResumeThread();
  return thread;
}
