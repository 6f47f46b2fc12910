#pragma once
// Runs the real upgrade tool (the shipped build, or the build with virtual pens)
// in a sandbox and drives its dialog from outside, as a user would: by the
// dialog's controls, read and clicked through their window handles. Every wait
// has a deadline.
#include <string>
#include <vector>

#include "testing/win32_ui/process.h"
#include "testing/win32_ui/sandbox.h"
#include "testing/win32_ui/wait.h"
#include "testing/win32_ui/windows.h"
#include "tool/resource.h"

namespace tool_win_test {

using win32_ui::DesktopMode;
using win32_ui::kDeadlineMs;
using win32_ui::Process;
using win32_ui::Sandbox;
using win32_ui::WaitUntil;

inline constexpr wchar_t kShippedTool[] = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
inline constexpr wchar_t kVirtualPenTool[] = L"nibflash_virtual_pen.exe";
// Message boxes carry the program's file name without its extension.
inline constexpr wchar_t kVirtualPenToolCaption[] = L"nibflash_virtual_pen";
inline constexpr wchar_t kDialogClass[] = L"#32770";

inline constexpr wchar_t kTitle[] = L"Maravel Firmware Upgrade Tool - 3.18";
inline constexpr wchar_t kNoPenVersionLine[] = L"Current SW version: ----- - New SW version : 3.18";
inline constexpr wchar_t kCompleteText[] = L"Update complete - click Exit";
inline constexpr wchar_t kFailureText[] =
    L"Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
    L"Connect the pen to USB and restart the upgrade tool.";

// The static control that holds a message box's text.
inline constexpr int kMessageBoxTextId = 0xFFFF;

// A whole upgrade with realistic pen timing takes under 10 s; the limit leaves
// room for a machine busy with other tests.
inline constexpr DWORD kUpgradeDeadlineMs = 90000;

// A sandbox whose desktop is shown: pictures need it, and under Wine a program
// on a hidden desktop takes 2 s longer to end. Each test program has an X server
// of its own, so that nothing else covers it.
class ToolSandbox : public Sandbox {
 public:
  ToolSandbox() : Sandbox(L"nibflash", DesktopMode::kOwnShown) {}
};

// "NN%" as the dialog shows progress: NN, or -1 for any other text.
int Percentage(const std::wstring& status);

// One run of a tool program, copied into the sandbox, and its upgrade dialog.
class Tool {
 public:
  // Starts `program` (one of the two above) from `installDir` with `arguments`,
  // in `workingDir` (empty: the install directory), and waits for its dialog.
  Tool(const Sandbox& sandbox, const std::wstring& program, const std::wstring& arguments,
       const std::wstring& installDir = L"", const std::wstring& workingDir = L"");

  HWND dialog() const { return dialog_; }
  Process& process() { return process_; }
  const Sandbox& sandbox() const { return sandbox_; }

  std::wstring Title() const;
  std::wstring Status() const;
  bool StartEnabled() const;
  bool ExitEnabled() const;
  int ProgressPosition() const;

  // Clicks a button as the mouse would (BM_CLICK), without waiting for its handler.
  void ClickStart() const;
  void ClickExit() const;
  // Presses and releases a key in the window that has the keyboard focus.
  void PressKey(WPARAM key) const;

  // Waits for a message box of the tool on its desktop; null when none came.
  HWND WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs = kDeadlineMs) const;

 private:
  const Sandbox& sandbox_;
  Process process_;
  HWND dialog_ = nullptr;
};

std::wstring MessageBoxText(HWND box);
// Clicks the box's OK button.
void PressOk(HWND box);

// Where the pictures go: build/<build>/artifacts.
std::wstring ArtifactsDir();
// Waits until the window is painted and keeps a picture of `area` of the
// sandbox's shown desktop as artifacts/<name>.png. False (with a note on stderr)
// when no picture could be taken.
bool KeepPicture(const Sandbox& sandbox, HWND window, RECT area, const std::wstring& name);

}  // namespace tool_win_test
