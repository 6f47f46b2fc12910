#include "testing/win32_ui/wait.h"

#include "testing/win32_ui/win32.h"

namespace win32_ui {

bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

}  // namespace win32_ui
