#include "tool/tests/win/tool_harness.h"

#include <commctrl.h>

#include <cwctype>

namespace tool_win_test {

int Percentage(const std::wstring& status) {
  if (status.size() < 2 || status.size() > 4 || status.back() != L'%') return -1;
  int value = 0;
  for (std::size_t i = 0; i + 1 < status.size(); ++i) {
    if (!std::iswdigit(status[i])) return -1;
    value = value * 10 + (status[i] - L'0');
  }
  return value;
}

Tool::Tool(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir)
    : boxCaption_(program.substr(program.find_last_of(L'\\') + 1, program.size() - program.find_last_of(L'\\') - 5)),
      process_(program, workingDir.empty() ? sandbox_.dir() : workingDir, sandbox_.desktopName(), arguments) {
  // Found once shown: the dialog fills its controls before it shows itself.
  WaitUntil([&] {
    dialog_ = win32_ui::FindProcessWindow(sandbox_.desktop(), process_.id(), kTitle);
    return dialog_ != nullptr || !process_.Running();
  });
  // As the user's click on it would: nothing on its desktop has made it the foreground window.
  if (dialog_ != nullptr) win32_ui::Activate(sandbox_.desktop(), dialog_);
}

int Tool::ProgressPosition() const {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(GetDlgItem(dialog_, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, kDeadlineMs, &position);
  return static_cast<int>(position);
}

HWND Tool::WaitForMessageBox(DWORD timeoutMs) const {
  HWND box = nullptr;
  const bool found = WaitUntil(
      [&] {
        box = win32_ui::FindProcessWindow(sandbox_.desktop(), process_.id(), boxCaption_);
        return box != nullptr && GetDlgItem(box, IDOK) != nullptr;
      },
      timeoutMs);
  return found ? box : nullptr;
}

}  // namespace tool_win_test
