#include "launcher/tests/launcher_harness.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace handover_test {

namespace {

constexpr wchar_t kMainCaption[] = L"Maravel_Firmware_Upgrade_Tool";
constexpr wchar_t kStartsFile[] = L"tool_starts.txt";

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// Started under the tool's file name, this program is the tool's stand-in: it
// appends "argc|working directory" to a file beside itself and ends before any test runs.
const bool standingInForTheTool = [] {
  const std::wstring self = OwnPath();
  const std::wstring dir = self.substr(0, self.find_last_of(L'\\'));
  if (self.substr(dir.size() + 1) != kToolFileName) return false;
  int argc = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  if (FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"ab")) {
    const std::wstring line = std::to_wstring(argc) + L"|" + cwd + L"\n";
    std::fwrite(line.data(), sizeof(wchar_t), line.size(), file);
    std::fclose(file);
  }
  ExitProcess(0);
}();

}  // namespace

Host::Host(HDESK desktop, const std::vector<HostWindow>& windows) {
  for (const HostWindow& w : windows) windows_.push_back({w});
  thread_ = std::thread([this, desktop] {
    std::vector<HWND> hwnds;
    if (win32_ui::AttachToDesktop(desktop)) {
      for (const wchar_t* name : {kHostClass, L"nibflash host stand-in"}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Host::WndProc;
        wc.lpszClassName = name;
        RegisterClassW(&wc);  // fails harmlessly for the second host of a process
      }
      for (Window& w : windows_) {
        // Hidden: the launcher's searches find them all the same.
        const bool byClass = w.spec.match != HostWindow::kTitle;
        const bool byTitle = w.spec.match != HostWindow::kClass;
        HWND hwnd = CreateWindowExW(0, byClass ? kHostClass : L"nibflash host stand-in",
                                    byTitle ? kHostTitle : L"host stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
        hwnds.push_back(hwnd);
      }
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for the thread message below
    threadId_ = GetCurrentThreadId();
    SetEvent(ready_);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      // Posted after the requests that the test waits for: they have all been handled.
      if (msg.hwnd == nullptr && msg.message == WM_APP) SetEvent(synced_);
      DispatchMessageW(&msg);
    }
    for (HWND hwnd : hwnds) DestroyWindow(hwnd);
  });
  WaitForSingleObject(ready_, kDeadlineMs);
}

Host::~Host() {
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  thread_.join();
  CloseHandle(ready_);
  CloseHandle(synced_);
}

LRESULT CALLBACK Host::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (w == nullptr || message != WM_CLOSE) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (++w->received == w->spec.closeOn) DestroyWindow(hwnd);
  return 0;
}

std::vector<int> Host::Received() const {
  PostThreadMessageW(threadId_, WM_APP, 0, 0);
  WaitForSingleObject(synced_, kDeadlineMs);
  std::vector<int> received;
  for (const Window& w : windows_) received.push_back(w.received);
  return received;
}

void InstallToolStandIn(const Sandbox& sandbox, const std::wstring& dir) {
  sandbox.Install(OwnPath(), dir, kToolFileName);
}

std::vector<ToolStart> ToolStarts(const std::wstring& dir) {
  std::vector<ToolStart> starts;
  FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"rb");
  if (file == nullptr) return starts;
  std::wstring text;
  for (wchar_t c; std::fread(&c, sizeof c, 1, file) == 1;) text += c;
  std::fclose(file);
  for (std::size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1) {
    const std::size_t bar = text.find(L'|', at);
    starts.push_back({std::stoi(text.substr(at, bar - at)), text.substr(bar + 1, end - bar - 1)});
  }
  return starts;
}

Launcher::Launcher(const Sandbox& sandbox, const std::wstring& dir, const std::wstring& workingDir)
    : process_(sandbox.Install(win32_ui::FromBuild(HANDOVER_EXE), dir, L"Handover.exe"), L"",
               workingDir.empty() ? dir : workingDir, sandbox.desktopName()) {
  WaitUntil([&] {
    dialog_ = win32_ui::FindProcessWindow(sandbox.desktop(), process_.id(), kMainCaption);
    return dialog_ != nullptr || !process_.Running();
  });
}

bool Launcher::ClickUpgrade(DWORD timeoutMs) const {
  // The button tells the dialog within the click: sent, the click returns after the handler.
  return win32_ui::SendWithin(GetDlgItem(dialog_, 1000), BM_CLICK, 0, 0, timeoutMs);
}

}  // namespace handover_test
