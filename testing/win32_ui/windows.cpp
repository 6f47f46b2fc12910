#include <algorithm>
#include <thread>

#include "testing/win32_ui/win32_ui.h"

namespace win32_ui {

namespace {

bool IsShown(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256] = {};
  return std::wstring(name, static_cast<std::size_t>(std::max(GetClassNameW(hwnd, name, 256), 0)));
}

struct Search {
  DWORD pid;
  const std::wstring* wanted;
  bool byClass;
  HWND found;
};

// A named function, not a lambda: a lambda does not take the system's calling
// convention on 32-bit x86.
BOOL CALLBACK CheckWindow(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == s->pid && IsShown(hwnd) && *s->wanted == (s->byClass ? ClassName(hwnd) : WindowText(hwnd))) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool AttachToDesktop(HDESK desktop) {
  wchar_t name[256] = {};
  if (!GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, nullptr)) return false;
  // A handle of the thread's own: Wine closes a thread's desktop handle when the
  // thread ends, and the sandbox's must outlive it.
  HDESK own = OpenDesktopW(name, 0, FALSE, GENERIC_ALL);
  return own != nullptr && SetThreadDesktop(own);
}

void RunOnDesktop(HDESK desktop, const std::function<void()>& work) {
  std::thread([&] {
    if (AttachToDesktop(desktop)) work();
  }).join();
}

HWND FindProcessWindow(HDESK desktop, DWORD pid, const std::wstring& text, bool byClass) {
  Search search{pid, &text, byClass, nullptr};
  EnumDesktopWindows(desktop, &CheckWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Activate(HDESK desktop, HWND hwnd) {
  RunOnDesktop(desktop, [&] {
    // Wine does not redraw the caption of a window that was already its thread's
    // active one when the thread gains the foreground: ask for it.
    if (SetForegroundWindow(hwnd) && GetForegroundWindow() == hwnd) SendWithin(hwnd, WM_NCACTIVATE, TRUE, 0);
  });
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = {};
  return std::wstring(text, static_cast<std::size_t>(std::max(GetWindowTextW(hwnd, text, 1024), 0)));
}

bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace win32_ui
