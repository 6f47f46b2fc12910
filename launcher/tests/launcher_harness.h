#pragma once
// Runs the real launcher against stand-ins for the host application and the
// upgrade tool, in a private directory, and reads what they recorded. Every wait
// has a deadline; none of them relies on the launcher's own timing. The general
// pieces (processes, sandboxes, window searches) come from testing/win32_ui.
#include <map>
#include <string>
#include <vector>

#include "testing/win32_ui/paths.h"
#include "testing/win32_ui/process.h"
#include "testing/win32_ui/sandbox.h"
#include "testing/win32_ui/wait.h"
#include "testing/win32_ui/windows.h"

namespace handover_test {

using win32_ui::BuildDir;
using win32_ui::Children;
using win32_ui::ChildWindow;
using win32_ui::FindProcessWindow;
using win32_ui::FindProcessWindowOfClass;
using win32_ui::IsShown;
using win32_ui::Join;
using win32_ui::kDeadlineMs;
using win32_ui::Lower;
using win32_ui::Process;
using win32_ui::WaitUntil;

inline constexpr wchar_t kToolFileName[] = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
inline constexpr wchar_t kMainCaption[] = L"Maravel_Firmware_Upgrade_Tool";
inline constexpr wchar_t kAboutCaption[] = L"关于 Handover";
// A host that never closes holds the launcher for 200 passes of 100 ms.
inline constexpr DWORD kFullLoopDeadlineMs = 90000;

// A sandbox that installs the launcher and the tool stand-in.
class Sandbox : public win32_ui::Sandbox {
 public:
  // ownDesktop false: the programs share the caller's desktop (to be seen on it).
  explicit Sandbox(bool ownDesktop = true)
      : win32_ui::Sandbox(L"handover", ownDesktop ? win32_ui::DesktopMode::kOwn : win32_ui::DesktopMode::kCallers) {}

  // Copies Handover.exe into `dir`; returns the copy's path.
  std::wstring InstallLauncher(const std::wstring& dir) const { return Install(L"Handover.exe", dir); }
  // Copies the tool stand-in into `dir` under the tool's file name.
  void InstallTool(const std::wstring& dir) const { Install(L"tool_standin.exe", dir, kToolFileName); }
};

// One start of the tool stand-in, as it recorded it.
struct ToolStart {
  int argc = 0;
  std::wstring args;
  std::wstring workingDir;
};

std::vector<ToolStart> ReadToolStarts(const std::wstring& toolDir);
// Waits for at least one recorded start.
std::vector<ToolStart> WaitForToolStarts(const std::wstring& toolDir);

// The host stand-in with its windows ("class:k", "title:k", "both:k"; k = 0 never closes).
class Host {
 public:
  Host(const Sandbox& sandbox, const std::vector<std::wstring>& windows);
  bool ready() const { return ready_; }
  // Close requests received so far, by window kind.
  std::map<std::wstring, int> Counts() const;
  bool WaitForCounts(const std::map<std::wstring, int>& expected, DWORD timeoutMs = kDeadlineMs) const;
  Process& process() { return process_; }

 private:
  std::wstring countsPath_;
  Process process_;
  bool ready_ = false;
};

// The launcher under test and its main dialog.
class Launcher {
 public:
  Launcher(const Sandbox& sandbox, const std::wstring& exePath, const std::wstring& workingDir = L"");
  HWND dialog() const { return dialog_; }
  Process& process() { return process_; }

  void PressUpgrade() const;       // posts WM_COMMAND/BN_CLICKED, as the button sends it
  void ClickUpgradeButton() const; // posts BM_CLICK to the button itself
  // Sends the Upgrade click and returns once its handler has returned (false:
  // not within the time). Sent, not posted, so that nothing can overtake it.
  bool PressUpgradeAndWait(DWORD timeoutMs = kDeadlineMs) const;
  void SystemCommand(WPARAM command) const;
  // Sends `message` to the dialog and returns whether it was handled in time.
  bool Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = kDeadlineMs) const;

 private:
  const Sandbox& sandbox_;
  Process process_;
  HWND dialog_ = nullptr;
};

}  // namespace handover_test
