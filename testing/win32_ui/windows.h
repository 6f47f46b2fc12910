#pragma once
// Finding and reading the windows of another process, as a user's tool would.
#include <functional>
#include <string>
#include <vector>

#include "testing/win32_ui/win32.h"

namespace win32_ui {

// Whether the window is there with WS_VISIBLE. IsWindowVisible also asks about the
// window's desktop, which for a hidden test desktop under Wine is never shown.
bool IsShown(HWND hwnd);

// The visible top-level window of process `pid` on `desktop` with this caption, or null.
HWND FindProcessWindow(HDESK desktop, DWORD pid, const std::wstring& caption);
// The same, by window class instead of caption.
HWND FindProcessWindowOfClass(HDESK desktop, DWORD pid, const std::wstring& className);

// Runs `work` on a thread of its own attached to `desktop`, for the calls that
// act on the calling thread's desktop (FindWindow, the screen DC); returns when it
// has run. A thread can change desktop only before it owns a window, so the
// caller's own thread cannot be used.
void RunOnDesktop(HDESK desktop, const std::function<void()>& work);

// FindWindowW(className, title) asked from `desktop`.
HWND FindWindowOnDesktop(HDESK desktop, const wchar_t* className, const wchar_t* title);

// Makes `hwnd` the foreground window of `desktop`, as a click on it would.
void Activate(HDESK desktop, HWND hwnd);

std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
RECT WindowRect(HWND hwnd);
RECT Union(RECT a, RECT b);

struct ChildWindow {
  HWND hwnd;
  int id;
  std::wstring className;
  std::wstring text;
  LONG style;
};
std::vector<ChildWindow> Children(HWND parent);

// Sends `message` and returns whether it was handled within `timeoutMs`; sent
// rather than posted when the caller must know that the handler has run.
bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs);

}  // namespace win32_ui
