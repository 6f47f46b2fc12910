#include "launcher/tests/launcher_harness.h"

#include <shellapi.h>

#include <cstdio>

namespace handover_test {

namespace {

constexpr wchar_t kHostClass[] = L"BrevioPen ctrl";
constexpr wchar_t kHostTitle[] = L"TessarinBrevioEYE";
constexpr wchar_t kOtherClass[] = L"nibflash host stand-in";
constexpr wchar_t kStartsFile[] = L"tool_starts.txt";

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// Started under the tool's file name, this program is the tool's stand-in: it notes
// its working directory (or "arguments" when it got some) in a file beside itself,
// and ends before any test runs.
const bool standingInForTheTool = [] {
  const std::wstring self = OwnPath();
  const std::wstring dir = self.substr(0, self.find_last_of(L'\\'));
  if (self.substr(dir.size() + 1) != kToolFileName) return false;
  int argc = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  if (FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"ab")) {
    std::fwprintf(file, L"%ls\n", argc == 1 ? cwd : L"arguments");
    std::fclose(file);
  }
  ExitProcess(0);
}();

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* w = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (w == nullptr || message != WM_CLOSE) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (++w->received == w->closeOn) DestroyWindow(hwnd);
  return 0;
}

}  // namespace

Host::Host(HDESK desktop, std::vector<HostWindow> windows) : windows_(std::move(windows)) {
  HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  thread_ = std::thread([this, desktop, ready] {
    win32_ui::AttachToDesktop(desktop);
    for (const wchar_t* name : {kHostClass, kOtherClass}) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &HostWndProc;
      wc.lpszClassName = name;
      RegisterClassW(&wc);  // fails harmlessly for the second host of a process
    }
    for (HostWindow& w : windows_) {
      // Hidden: the launcher's searches find them all the same.
      HWND hwnd = CreateWindowExW(0, w.match == HostWindow::kTitle ? kOtherClass : kHostClass,
                                  w.match == HostWindow::kClass ? L"host stand-in" : kHostTitle, WS_OVERLAPPEDWINDOW,
                                  0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for the thread messages below
    threadId_ = GetCurrentThreadId();
    SetEvent(ready);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      // Posted after the requests that the test waits for: they have all been handled.
      if (msg.hwnd == nullptr && msg.message == WM_APP) SetEvent(synced_);
      DispatchMessageW(&msg);
    }
  });  // the thread's windows go with it
  WaitForSingleObject(ready, kDeadlineMs);
  CloseHandle(ready);
}

Host::~Host() {
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  thread_.join();
  CloseHandle(synced_);
}

std::vector<int> Host::Received() const {
  PostThreadMessageW(threadId_, WM_APP, 0, 0);
  WaitForSingleObject(synced_, kDeadlineMs);
  std::vector<int> received;
  for (const HostWindow& w : windows_) received.push_back(w.received);
  return received;
}

void InstallToolStandIn(const Sandbox& sandbox, const std::wstring& dir) {
  sandbox.Install(OwnPath(), dir, kToolFileName);
}

std::vector<std::wstring> ToolStarts(const std::wstring& dir) {
  std::vector<std::wstring> starts;
  if (FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"rb")) {
    for (wchar_t line[MAX_PATH + 2]; std::fgetws(line, MAX_PATH + 2, file) != nullptr;) {
      starts.emplace_back(line, std::wcslen(line) - 1);
    }
    std::fclose(file);
  }
  return starts;
}

Launcher::Launcher(const Sandbox& sandbox, const std::wstring& dir, const std::wstring& workingDir)
    : process_(sandbox.Install(win32_ui::FromBuild(HANDOVER_EXE), dir, L"Handover.exe"),
               workingDir.empty() ? dir : workingDir, sandbox.desktopName()) {
  WaitUntil([&] {
    dialog_ = win32_ui::FindProcessWindow(sandbox.desktop(), process_.id(), L"Maravel_Firmware_Upgrade_Tool");
    return dialog_ != nullptr || !process_.Running();
  });
}

}  // namespace handover_test
