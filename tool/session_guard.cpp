#include "tool/session_guard.h"

namespace {
const wchar_t kBlockReason[] = L"Firmware upgrade in progress. Do not unplug the pen or switch off the computer.";
}  // namespace

void SessionGuard::Take(HWND window) {
  if (m_held) return;
  m_held = true;
  m_window = window;
  // Without the reason (refused), the refusal of WM_QUERYENDSESSION still holds the session.
  ::ShutdownBlockReasonCreate(window, kBlockReason);
  ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

void SessionGuard::Release() {
  if (!m_held) return;
  m_held = false;
  // A window already destroyed took its reason with it.
  ::ShutdownBlockReasonDestroy(m_window);
  ::SetThreadExecutionState(ES_CONTINUOUS);
}
