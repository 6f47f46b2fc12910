// Stands in for the pen's host application in the launcher's tests.
//   host_standin <counts-file> <window>...
// Each <window> is kind:k, kind being "class" (a window of class "BrevioPen ctrl"),
// "title" (a window titled "TessarinBrevioEYE") or "both", and k the close request
// on which that window goes (0: never). After every WM_CLOSE, and once at start-up,
// the counts file is rewritten with one line "kind received" per window, so a test
// can wait for the windows to exist and read how many requests each one got.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kHostClass[] = L"BrevioPen ctrl";
constexpr wchar_t kHostTitle[] = L"TessarinBrevioEYE";
constexpr wchar_t kOtherClass[] = L"HostStandInOther";
constexpr wchar_t kOtherTitle[] = L"Host stand-in";

struct HostWindow {
  std::wstring kind;
  int closeOn = 0;
  int received = 0;
  HWND hwnd = nullptr;
};

std::vector<HostWindow> windows;
std::wstring countsPath;

// Written whole and then renamed, so that a reader never sees half a file.
void WriteCounts() {
  const std::wstring temp = countsPath + L".tmp";
  FILE* file = _wfopen(temp.c_str(), L"w");
  if (file == nullptr) return;
  for (const HostWindow& w : windows) std::fprintf(file, "%ls %d\n", w.kind.c_str(), w.received);
  std::fclose(file);
  MoveFileExW(temp.c_str(), countsPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int liveWindows = 0;

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  for (HostWindow& w : windows) {
    if (w.hwnd != hwnd) continue;
    if (message == WM_CLOSE) {
      ++w.received;
      WriteCounts();
      if (w.received == w.closeOn) DestroyWindow(hwnd);
      return 0;
    }
    if (message == WM_DESTROY) {
      w.hwnd = nullptr;
      if (--liveWindows == 0) PostQuitMessage(0);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool Register(HINSTANCE instance, const wchar_t* name) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostWndProc;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  return RegisterClassW(&wc) != 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  countsPath = argv[1];
  for (int i = 2; i < argc; ++i) {
    const wchar_t* colon = std::wcschr(argv[i], L':');
    const wchar_t* start = argv[i];
    if (colon == nullptr) return 2;
    HostWindow w;
    w.kind.assign(start, colon);
    w.closeOn = static_cast<int>(std::wcstol(colon + 1, nullptr, 10));
    if (w.kind != L"class" && w.kind != L"title" && w.kind != L"both") return 2;
    windows.push_back(w);
  }
  LocalFree(argv);
  if (!Register(instance, kHostClass) || !Register(instance, kOtherClass)) return 1;
  // Hidden windows: the launcher's searches find them all the same, and they stay
  // out of the screenshots.
  for (HostWindow& w : windows) {
    const bool byClass = w.kind != L"title";
    const bool byTitle = w.kind != L"class";
    w.hwnd = CreateWindowExW(0, byClass ? kHostClass : kOtherClass, byTitle ? kHostTitle : kOtherTitle,
                             WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, instance, nullptr);
    if (w.hwnd == nullptr) return 1;
    ++liveWindows;
  }
  WriteCounts();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
