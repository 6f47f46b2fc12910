#include "testing/win32_ui/windows.h"

#include <algorithm>

#include "testing/win32_ui/wait.h"

namespace win32_ui {

bool IsShown(HWND hwnd) { return IsWindow(hwnd) && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

namespace {

// Callbacks are named functions: a lambda does not take the system's calling
// convention on 32-bit x86.
struct Search {
  DWORD pid;
  const std::wstring* wanted;
  bool byClass;
  HWND found;
};

BOOL CALLBACK CheckShownWindow(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == s->pid && IsShown(hwnd) && *s->wanted == (s->byClass ? ClassName(hwnd) : WindowText(hwnd))) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindShownWindow(HDESK desktop, DWORD pid, const std::wstring& wanted, bool byClass) {
  Search search{pid, &wanted, byClass, nullptr};
  EnumDesktopWindows(desktop, &CheckShownWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct DesktopJob {
  wchar_t name[256];
  const std::function<void()>* work;
};

DWORD WINAPI RunDesktopJob(void* parameter) {
  auto* job = static_cast<DesktopJob*>(parameter);
  // A handle of the thread's own: Wine closes a thread's desktop handle when
  // the thread ends, and the caller's must outlive it.
  HDESK own = OpenDesktopW(job->name, 0, FALSE, GENERIC_ALL);
  if (own == nullptr || !SetThreadDesktop(own)) return 1;
  (*job->work)();
  return 0;
}

BOOL CALLBACK AddChild(HWND hwnd, LPARAM lParam) {
  reinterpret_cast<std::vector<ChildWindow>*>(lParam)->push_back(
      {hwnd, GetDlgCtrlID(hwnd), ClassName(hwnd), WindowText(hwnd), GetWindowLongW(hwnd, GWL_STYLE)});
  return TRUE;
}

}  // namespace

HWND FindProcessWindow(HDESK desktop, DWORD pid, const std::wstring& caption) {
  return FindShownWindow(desktop, pid, caption, false);
}

HWND FindProcessWindowOfClass(HDESK desktop, DWORD pid, const std::wstring& className) {
  return FindShownWindow(desktop, pid, className, true);
}

void RunOnDesktop(HDESK desktop, const std::function<void()>& work) {
  if (desktop == nullptr || desktop == GetThreadDesktop(GetCurrentThreadId())) {
    work();
    return;
  }
  DesktopJob job{{}, &work};
  if (!GetUserObjectInformationW(desktop, UOI_NAME, job.name, sizeof job.name, nullptr)) return;
  HANDLE thread = CreateThread(nullptr, 0, &RunDesktopJob, &job, 0, nullptr);
  if (thread == nullptr) return;
  // The work only reads windows and the screen: it ends promptly or not at all,
  // and `job` must outlive it either way.
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

HWND FindWindowOnDesktop(HDESK desktop, const wchar_t* className, const wchar_t* title) {
  HWND found = nullptr;
  RunOnDesktop(desktop, [&] { found = FindWindowW(className, title); });
  return found;
}

void Activate(HDESK desktop, HWND hwnd) {
  RunOnDesktop(desktop, [&] {
    // Wine does not redraw the caption of a window that was already its
    // thread's active one when the thread gains the foreground: ask for it.
    if (SetForegroundWindow(hwnd) && GetForegroundWindow() == hwnd) {
      SendMessageTimeoutW(hwnd, WM_NCACTIVATE, TRUE, 0, SMTO_NORMAL, kDeadlineMs, nullptr);
    }
  });
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = {};
  const int length = GetWindowTextW(hwnd, text, 1024);
  return std::wstring(text, static_cast<std::size_t>(std::max(length, 0)));
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(hwnd, name, 256);
  return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

RECT WindowRect(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  return rect;
}

RECT Union(RECT a, RECT b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

std::vector<ChildWindow> Children(HWND parent) {
  std::vector<ChildWindow> children;
  EnumChildWindows(parent, &AddChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace win32_ui
