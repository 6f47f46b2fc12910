#pragma once
// The launcher's surroundings, made by the test itself: the pen's host application
// as windows of this process, and this very program standing in for the tool. The
// names are written out here, not taken from the launcher, so that a wrong one shows.
#include <thread>
#include <vector>

#include "testing/win32_ui/win32_ui.h"

namespace handover_test {

using win32_ui::kDeadlineMs;
using win32_ui::Sandbox;
using win32_ui::WaitUntil;

inline constexpr wchar_t kToolFileName[] = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
inline constexpr int kMostPasses = 200;

// A host window that the launcher finds by its class, its title or both; it goes on
// its closeOn-th WM_CLOSE, or never (0).
struct HostWindow {
  enum Match { kClass, kTitle, kBoth } match;
  int closeOn;
  int received = 0;
};

// The pen's host application: top-level windows on `desktop`, served by a thread of
// this process, each counting the close requests it receives.
class Host {
 public:
  Host(HDESK desktop, std::vector<HostWindow> windows);
  ~Host();
  // Requests received by each window, once all those already posted are handled.
  std::vector<int> Received() const;

 private:
  std::vector<HostWindow> windows_;
  HANDLE synced_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD threadId_ = 0;
  std::thread thread_;
};

// Copies this program into `dir` under the tool's file name.
void InstallToolStandIn(const Sandbox& sandbox, const std::wstring& dir);
// The working directory of each start of the stand-in in `dir`, when started without arguments.
std::vector<std::wstring> ToolStarts(const std::wstring& dir);

// Handover.exe copied into `dir` and started in `workingDir` (empty: `dir`), and its main dialog.
class Launcher {
 public:
  Launcher(const Sandbox& sandbox, const std::wstring& dir, const std::wstring& workingDir = L"");
  HWND dialog() const { return dialog_; }
  const win32_ui::Process& process() const { return process_; }
  // Clicks Upgrade and returns once its handler has (false: not within timeoutMs).
  bool ClickUpgrade(DWORD timeoutMs = kDeadlineMs) const {
    return win32_ui::SendWithin(GetDlgItem(dialog_, 1000), BM_CLICK, 0, 0, timeoutMs);
  }
  // Still shown once Upgrade's handler has returned: ending the dialog would have hidden it.
  bool Stays() const { return (GetWindowLongW(dialog_, GWL_STYLE) & WS_VISIBLE) != 0 && process_.Running(); }
  void Command(UINT message, WPARAM wParam, LPARAM lParam = 0) const { PostMessageW(dialog_, message, wParam, lParam); }

 private:
  win32_ui::Process process_;
  HWND dialog_ = nullptr;
};

}  // namespace handover_test
