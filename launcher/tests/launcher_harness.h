#pragma once
// The launcher's surroundings, made by the test itself: the pen's host application
// as windows of this process, and this very program standing in for the tool.
// The names are written out here rather than taken from the launcher's header, so
// that a wrong name in the launcher shows.
#include <thread>
#include <vector>

#include "testing/win32_ui/win32_ui.h"

namespace handover_test {

using win32_ui::kDeadlineMs;
using win32_ui::Sandbox;
using win32_ui::WaitUntil;

inline constexpr wchar_t kHostClass[] = L"BrevioPen ctrl";
inline constexpr wchar_t kHostTitle[] = L"TessarinBrevioEYE";
inline constexpr wchar_t kToolFileName[] = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
inline constexpr int kMostPasses = 200;

// A host window, found by the launcher's search for its class, its title or both;
// it goes on its closeOn-th WM_CLOSE, or never (0).
struct HostWindow {
  enum Match { kClass, kTitle, kBoth } match;
  int closeOn;
};

// The pen's host application: top-level windows on `desktop`, served by a thread
// of this process, each counting the close requests it receives.
class Host {
 public:
  Host(HDESK desktop, const std::vector<HostWindow>& windows);
  ~Host();
  // Requests received by each window, once all those already posted are handled.
  std::vector<int> Received() const;

 private:
  struct Window {
    HostWindow spec;
    int received = 0;
  };
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::vector<Window> windows_;
  HANDLE ready_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE synced_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD threadId_ = 0;
  std::thread thread_;
};

// One start of the tool stand-in: how many arguments (the program's name included)
// and in which working directory.
struct ToolStart {
  int argc;
  std::wstring workingDir;
};
// Copies this program into `dir` under the tool's file name.
void InstallToolStandIn(const Sandbox& sandbox, const std::wstring& dir);
std::vector<ToolStart> ToolStarts(const std::wstring& dir);

// Handover.exe copied into `dir` and started in `workingDir` (empty: `dir`), and its main dialog.
class Launcher {
 public:
  Launcher(const Sandbox& sandbox, const std::wstring& dir, const std::wstring& workingDir = L"");
  HWND dialog() const { return dialog_; }
  const win32_ui::Process& process() const { return process_; }
  // Clicks Upgrade and returns once its handler has (false: not within timeoutMs).
  bool ClickUpgrade(DWORD timeoutMs = kDeadlineMs) const;
  void SystemCommand(WPARAM command) const { PostMessageW(dialog_, WM_SYSCOMMAND, command, 0); }

 private:
  win32_ui::Process process_;
  HWND dialog_ = nullptr;
};

}  // namespace handover_test
