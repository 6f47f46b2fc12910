#include "testing/win32_ui/screenshot.h"

#include <algorithm>

#include <objidl.h>  // before gdiplus.h, which needs it and does not include it
#include <gdiplus.h>

#include "testing/win32_ui/windows.h"

namespace win32_ui {

namespace {

bool HasPendingPaint(HWND hwnd) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) return true;
  for (const ChildWindow& child : Children(hwnd)) {
    if (GetUpdateRect(child.hwnd, nullptr, FALSE)) return true;
  }
  return false;
}

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
  // {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder of GDI+.
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  Gdiplus::GpBitmap* image = nullptr;
  bool ok = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok;
  if (ok) {
    ok = Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

}  // namespace

bool WaitPainted(HWND top, DWORD timeoutMs) {
  return SendWithin(top, WM_NULL, 0, 0, timeoutMs) && WaitUntil([&] { return !HasPendingPaint(top); }, timeoutMs);
}

bool CapturePng(HDESK desktop, RECT area, const std::wstring& path) {
  bool ok = false;
  RunOnDesktop(desktop, [&] {
    RECT clipped = {std::max(0L, area.left - 8), std::max(0L, area.top - 8), area.right + 8, area.bottom + 8};
    clipped.right = std::min<LONG>(clipped.right, GetSystemMetrics(SM_CXSCREEN));
    clipped.bottom = std::min<LONG>(clipped.bottom, GetSystemMetrics(SM_CYSCREEN));
    const LONG width = clipped.right - clipped.left;
    const LONG height = clipped.bottom - clipped.top;
    if (width <= 0 || height <= 0) return;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (bitmap != nullptr) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      ok = BitBlt(memory, 0, 0, width, height, screen, clipped.left, clipped.top, SRCCOPY | CAPTUREBLT) != 0;
      SelectObject(memory, old);
      ok = ok && SavePng(bitmap, path);
      DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  });
  return ok;
}

}  // namespace win32_ui
