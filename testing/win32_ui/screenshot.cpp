#include <algorithm>
#include <cstdio>
#include <thread>

#include <objidl.h>  // before gdiplus.h, which needs it and does not include it
#include <gdiplus.h>

#include "testing/win32_ui/win32_ui.h"

namespace win32_ui {

namespace {

BOOL CALLBACK FindPendingPaint(HWND hwnd, LPARAM lParam) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) *reinterpret_cast<bool*>(lParam) = true;
  return TRUE;
}

// Once `top` has handled what was queued before, neither it nor a child has a region left to paint.
bool WaitPainted(HWND top) {
  return SendWithin(top, WM_NULL, 0, 0) && WaitUntil([&] {
           bool pending = GetUpdateRect(top, nullptr, FALSE) != FALSE;
           EnumChildWindows(top, &FindPendingPaint, reinterpret_cast<LPARAM>(&pending));
           return !pending;
         });
}

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
  // {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder of GDI+.
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  Gdiplus::GpBitmap* image = nullptr;
  bool ok = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok;
  ok = ok && Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
  if (image != nullptr) Gdiplus::DllExports::GdipDisposeImage(image);
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

// Copies `area` of the screen, with a small margin, into a PNG file.
bool CapturePng(RECT area, const std::wstring& path) {
  const LONG left = std::max(0L, area.left - 8);
  const LONG top = std::max(0L, area.top - 8);
  const LONG width = std::min<LONG>(area.right + 8, GetSystemMetrics(SM_CXSCREEN)) - left;
  const LONG height = std::min<LONG>(area.bottom + 8, GetSystemMetrics(SM_CYSCREEN)) - top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool ok = bitmap != nullptr && BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);
  ok = ok && SavePng(bitmap, path);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

void KeepPicture(HDESK desktop, HWND window, HWND over, const std::wstring& name) {
  const std::wstring dir = FromBuild(WIN32_UI_ARTIFACTS_DIR);
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring path = Join(dir, name + L".png");
  RECT area{}, under{};
  GetWindowRect(window, &area);
  if (over != nullptr && GetWindowRect(over, &under)) UnionRect(&area, &area, &under);
  bool kept = false;
  // From a thread of that desktop: the screen is the caller's desktop's.
  std::thread([&] { kept = WaitPainted(window) && AttachToDesktop(desktop) && CapturePng(area, path); }).join();
  std::fwprintf(stderr, kept ? L"screenshot: %ls\n" : L"no screenshot %ls\n", path.c_str());
}

}  // namespace win32_ui
