#pragma once
// Pictures of what a desktop shows, for people to look at (CI artifacts). Only a
// shown desktop has pixels: the caller's inside a Wine virtual desktop, or a
// sandbox desktop made with DesktopMode::kOwnShown.
#include <string>

#include "testing/win32_ui/wait.h"
#include "testing/win32_ui/win32.h"

namespace win32_ui {

// Waits until `top` has handled what was queued before and neither it nor its
// children have a region left to paint.
bool WaitPainted(HWND top, DWORD timeoutMs = kDeadlineMs);

// Copies `area` of the screen of `desktop` (null: the caller's), with a small
// margin, into a PNG file.
bool CapturePng(HDESK desktop, RECT area, const std::wstring& path);

}  // namespace win32_ui
