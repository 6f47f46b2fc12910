#include "launcher/tool_launch.h"

#include <cwchar>

#include "afx/time_scale.h"

bool CloseHostWindows() {
  HWND classWindow = FindWindowW(kHostWindowClass, nullptr);
  HWND titleWindow = FindWindowW(nullptr, kHostWindowTitle);
  for (int pass = 1; classWindow != nullptr || titleWindow != nullptr; ++pass) {
    if (pass > kMaxClosePasses) return false;
    // A window matching both searches is asked twice; the host copes with that.
    if (classWindow != nullptr) PostMessageW(classWindow, WM_CLOSE, 0, 0);
    if (titleWindow != nullptr) PostMessageW(titleWindow, WM_CLOSE, 0, 0);
    afx::Sleep(kClosePassPauseMs);
    classWindow = FindWindowW(kHostWindowClass, nullptr);
    titleWindow = FindWindowW(nullptr, kHostWindowTitle);
  }
  return true;
}

bool ComposeToolPath(wchar_t* modulePath, DWORD moduleLength, wchar_t* toolPath) {
  // A full buffer means the path was truncated (and, before Vista, left unterminated).
  if (moduleLength == 0 || moduleLength >= kPathBufferChars) return false;
  modulePath[moduleLength] = L'\0';
  if (wchar_t* lastBackslash = std::wcsrchr(modulePath, L'\\')) *lastBackslash = L'\0';
  const std::size_t needed = std::wcslen(modulePath) + 1 + std::wcslen(kToolFileName) + 1;
  if (needed > kPathBufferChars) return false;
  std::swprintf(toolPath, kPathBufferChars, L"%ls\\%ls", modulePath, kToolFileName);
  return true;
}
