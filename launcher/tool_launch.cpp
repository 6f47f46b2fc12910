#include "launcher/tool_launch.h"

#include <cwchar>

#include "afx/time_scale.h"

bool CloseHostWindows() {
  HWND classWindow = FindWindowW(HOST_WINDOW_CLASS, nullptr);
  HWND titleWindow = FindWindowW(nullptr, HOST_WINDOW_TITLE);
  for (int pass = 1; classWindow != nullptr || titleWindow != nullptr; ++pass) {
    if (pass > MAX_CLOSE_PASSES) return false;
    // A window matching both searches is asked twice; the host copes with that.
    if (classWindow != nullptr) PostMessageW(classWindow, WM_CLOSE, 0, 0);
    if (titleWindow != nullptr) PostMessageW(titleWindow, WM_CLOSE, 0, 0);
    afx::Sleep(CLOSE_PASS_PAUSE_MS);
    classWindow = FindWindowW(HOST_WINDOW_CLASS, nullptr);
    titleWindow = FindWindowW(nullptr, HOST_WINDOW_TITLE);
  }
  return true;
}

bool ComposeToolPath(wchar_t* modulePath, DWORD moduleLength, wchar_t* toolPath) {
  // A full buffer means the path was truncated (and, before Vista, left unterminated).
  if (moduleLength == 0 || moduleLength >= PATH_BUFFER_CHARS) return false;
  modulePath[moduleLength] = L'\0';
  if (wchar_t* lastBackslash = std::wcsrchr(modulePath, L'\\')) *lastBackslash = L'\0';
  const std::size_t needed = std::wcslen(modulePath) + 1 + std::wcslen(TOOL_FILE_NAME) + 1;
  if (needed > PATH_BUFFER_CHARS) return false;
  std::swprintf(toolPath, PATH_BUFFER_CHARS, L"%ls\\%ls", modulePath, TOOL_FILE_NAME);
  return true;
}
