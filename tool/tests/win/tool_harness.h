#pragma once
// Runs the real upgrade tool (the shipped build, or the build with virtual pens)
// on a shown desktop of its own and drives its dialog from outside, as a user
// would: by its controls, read and clicked through their window handles.
#include <cwctype>
#include <string>

#include "testing/win32_ui/win32_ui.h"
#include "tool/resource.h"

#include <commctrl.h>  // after windows.h, which it needs

namespace tool_win_test {

using win32_ui::kDeadlineMs;
using win32_ui::WaitUntil;

inline const std::wstring kShippedTool = win32_ui::FromBuild(SHIPPED_TOOL_EXE);
inline const std::wstring kVirtualPenTool = win32_ui::FromBuild(VIRTUAL_PEN_TOOL_EXE);

inline constexpr wchar_t kTitle[] = L"Maravel Firmware Upgrade Tool - 3.18";
inline constexpr wchar_t kFailureText[] =
    L"Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
    L"Connect the pen to USB and restart the upgrade tool.";
// A whole upgrade with realistic pen timing takes under 10 s; the limit leaves room for a busy machine.
inline constexpr DWORD kUpgradeDeadlineMs = 90000;

// "NN%" as the dialog shows progress: NN, or -1 for any other text.
inline int Percentage(const std::wstring& status) {
  std::size_t digits = 0;
  const int value = status.size() < 5 && std::iswdigit(status[0]) ? std::stoi(status, &digits) : -1;
  return digits > 0 && status.substr(digits) == L"%" ? value : -1;
}

// One run of a tool program in a sandbox of its own, and its upgrade dialog.
class Tool {
 public:
  // Starts `program` with `arguments` in `workingDir` (empty: the sandbox's) and waits for its dialog.
  Tool(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir = L"")
      : boxCaption_(program.substr(program.rfind(L'\\') + 1, program.size() - program.rfind(L'\\') - 5)),
        process_(program, workingDir.empty() ? sandbox_.dir() : workingDir, sandbox_.desktopName(), arguments) {
    WaitUntil([&] {  // found once shown: the dialog fills its controls before it shows itself
      dialog_ = win32_ui::FindProcessWindow(sandbox_.desktop(), process_.id(), kTitle);
      return dialog_ != nullptr || !process_.Running();
    });
    // As the user's click on it would: nothing on its desktop has made it the foreground window.
    if (dialog_ != nullptr) win32_ui::Activate(sandbox_.desktop(), dialog_);
  }

  HWND dialog() const { return dialog_; }
  const win32_ui::Process& process() const { return process_; }

  std::wstring Title() const { return win32_ui::WindowText(dialog_); }
  std::wstring Status() const { return win32_ui::WindowText(GetDlgItem(dialog_, IDC_STATUS)); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  int ProgressPosition() const {
    DWORD_PTR position = 0;
    SendMessageTimeoutW(GetDlgItem(dialog_, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, kDeadlineMs, &position);
    return static_cast<int>(position);
  }
  // As the mouse would, without waiting for the handler.
  void Click(int id) const { PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
  // Clicks Start once the pen has been opened; false if it never was.
  bool StartUpgrade() const {
    if (!WaitUntil([&] { return Enabled(IDC_START); })) return false;
    Click(IDC_START);
    return true;
  }

  // The tool's message box (captioned with the program's file name), once it has its OK button.
  HWND WaitForMessageBox(DWORD timeoutMs = kDeadlineMs) const {
    HWND box = nullptr;
    return WaitUntil([&] { return (box = win32_ui::FindProcessWindow(sandbox_.desktop(), process_.id(), boxCaption_)) &&
                                  GetDlgItem(box, IDOK); }, timeoutMs) ? box : nullptr;
  }
  void Picture(HWND window, const std::wstring& name) const {
    win32_ui::KeepPicture(sandbox_.desktop(), window, dialog_, name);
  }

 private:
  win32_ui::Sandbox sandbox_;
  std::wstring boxCaption_;
  win32_ui::Process process_;
  HWND dialog_ = nullptr;
};

inline std::wstring MessageBoxText(HWND box) { return win32_ui::WindowText(GetDlgItem(box, 0xFFFF)); }

}  // namespace tool_win_test
