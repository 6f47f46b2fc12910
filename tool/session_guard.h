#pragma once
// Holds the PC for an upgrade: while the pen's flash is written, ending the session
// (shutdown, restart, log-off) or sleeping would leave the pen half-written. Held,
// it gives the system a shutdown-block reason to show the person and keeps the
// system awake; the dialog refuses WM_QUERYENDSESSION meanwhile. Both belong to the
// calling thread (a block reason works only from its window's), so the dialog takes
// and releases the guard on its own thread.
#include "afx/win_ui_types.h"

class SessionGuard {
 public:
  SessionGuard() = default;
  ~SessionGuard() { Release(); }
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

  // Registers the block reason on `window` and keeps the system awake; no-op when held.
  void Take(HWND window);
  // Withdraws both; no-op when not held.
  void Release();
  bool IsHeld() const { return m_held; }

 private:
  bool m_held = false;
  HWND m_window = nullptr;
};
