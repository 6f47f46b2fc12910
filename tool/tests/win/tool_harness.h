#pragma once
// Runs the real upgrade tool (the shipped build, or the build with virtual pens)
// on a shown desktop of its own and drives its dialog from outside, as a user
// would: by its controls, read and clicked through their window handles.
#include <string>

#include "testing/win32_ui/win32_ui.h"
#include "tool/resource.h"

namespace tool_win_test {

using win32_ui::kDeadlineMs;
using win32_ui::Sandbox;
using win32_ui::WaitUntil;

inline const std::wstring kShippedTool = win32_ui::FromBuild(SHIPPED_TOOL_EXE);
inline const std::wstring kVirtualPenTool = win32_ui::FromBuild(VIRTUAL_PEN_TOOL_EXE);

inline constexpr wchar_t kTitle[] = L"Maravel Firmware Upgrade Tool - 3.18";
inline constexpr wchar_t kNoPenVersionLine[] = L"Current SW version: ----- - New SW version : 3.18";
inline constexpr wchar_t kCompleteText[] = L"Update complete - click Exit";
inline constexpr wchar_t kFailureText[] =
    L"Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
    L"Connect the pen to USB and restart the upgrade tool.";

// A whole upgrade with realistic pen timing takes under 10 s; the limit leaves
// room for a machine busy with other tests.
inline constexpr DWORD kUpgradeDeadlineMs = 90000;

// "NN%" as the dialog shows progress: NN, or -1 for any other text.
int Percentage(const std::wstring& status);

// One run of a tool program in a sandbox of its own, and its upgrade dialog.
class Tool {
 public:
  // Starts `program` with `arguments` in `workingDir` (empty: the sandbox's) and waits for its dialog.
  Tool(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir = L"");

  HWND dialog() const { return dialog_; }
  const Sandbox& sandbox() const { return sandbox_; }
  const win32_ui::Process& process() const { return process_; }

  std::wstring Title() const { return win32_ui::WindowText(dialog_); }
  std::wstring Status() const { return win32_ui::WindowText(GetDlgItem(dialog_, IDC_STATUS)); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  int ProgressPosition() const;
  // As the mouse would, without waiting for the handler.
  void Click(int id) const { PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }

  // The tool's message box (captioned with the program's file name), once it has
  // its OK button; null when none came.
  HWND WaitForMessageBox(DWORD timeoutMs = kDeadlineMs) const;
  void Picture(HWND window, const std::wstring& name) const {
    win32_ui::KeepPicture(sandbox_.desktop(), window, dialog_, name);
  }

 private:
  Sandbox sandbox_;
  std::wstring boxCaption_;
  win32_ui::Process process_;
  HWND dialog_ = nullptr;
};

inline std::wstring MessageBoxText(HWND box) { return win32_ui::WindowText(GetDlgItem(box, 0xFFFF)); }

}  // namespace tool_win_test
