#pragma once
#include <functional>

namespace win32_ui {

// Long enough for a program to start under a busy Wine; a test that waits this
// long has failed anyway.
inline constexpr unsigned long kDeadlineMs = 30000;

// Polls `condition` until it holds or `timeoutMs` has passed; returns the last result.
bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs = kDeadlineMs);

}  // namespace win32_ui
