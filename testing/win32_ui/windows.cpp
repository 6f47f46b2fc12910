#include "testing/win32_ui/windows.h"

#include <algorithm>

#include "testing/win32_ui/wait.h"

namespace win32_ui {

bool IsShown(HWND hwnd) { return IsWindow(hwnd) && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

namespace {

HWND FindShownWindow(HDESK desktop, DWORD pid, const std::wstring& wanted, bool byClass) {
  struct Search {
    DWORD pid;
    const std::wstring* wanted;
    bool byClass;
    HWND found;
  } search{pid, &wanted, byClass, nullptr};
  EnumDesktopWindows(
      desktop,
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && IsShown(hwnd) && *s->wanted == (s->byClass ? ClassName(hwnd) : WindowText(hwnd))) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
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
  struct Job {
    HDESK desktop;
    const std::function<void()>* work;
  } job{desktop, &work};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* parameter) -> DWORD {
        auto* j = static_cast<Job*>(parameter);
        if (!SetThreadDesktop(j->desktop)) return 1;
        (*j->work)();
        return 0;
      },
      &job, 0, nullptr);
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
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        reinterpret_cast<std::vector<ChildWindow>*>(lParam)->push_back(
            {hwnd, GetDlgCtrlID(hwnd), ClassName(hwnd), WindowText(hwnd), GetWindowLongW(hwnd, GWL_STYLE)});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace win32_ui
