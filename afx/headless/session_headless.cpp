// The session calls of the headless backend: the shutdown-block reason (user32)
// and the thread's execution state (kernel32). Nothing ends or sleeps here: each
// call is recorded, with its thread, for tests to read (afx/headless/automation.h).
#include <utility>

#include "afx/headless/window_system.h"

using namespace afx::headless;
using namespace afx::headless::detail;

namespace {

// Records `call` from this thread. TRUE unless it names a window that does not exist
// or belongs to another thread.
BOOL Record(SessionCall call) {
  call.thread = std::this_thread::get_id();
  std::lock_guard<std::mutex> guard(GetState().mutex);
  const Window* window = FindWindowLocked(call.window);
  const bool accepted = call.kind == SessionCallKind::ExecutionState ||
                        (window != nullptr && window->queue->owner == call.thread);
  GetState().sessionCalls.push_back(std::move(call));
  return accepted ? TRUE : FALSE;
}

}  // namespace

BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
  SessionCall call;
  call.kind = SessionCallKind::BlockReasonCreate;
  call.window = window;
  call.reason = reason != nullptr ? reason : L"";
  return Record(std::move(call));
}

BOOL ShutdownBlockReasonDestroy(HWND window) {
  SessionCall call;
  call.kind = SessionCallKind::BlockReasonDestroy;
  call.window = window;
  return Record(std::move(call));
}

EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags) {
  // The thread's previous state, as Win32 returns it.
  thread_local EXECUTION_STATE current = ES_CONTINUOUS;
  SessionCall call;
  call.kind = SessionCallKind::ExecutionState;
  call.flags = flags;
  Record(std::move(call));
  const EXECUTION_STATE previous = current;
  if ((flags & ES_CONTINUOUS) != 0) current = flags;
  return previous;
}
