#include "tool/tests/win/tool_harness.h"

#include <commctrl.h>

#include <cstdio>
#include <cwctype>

#include "testing/win32_ui/paths.h"
#include "testing/win32_ui/screenshot.h"

namespace tool_win_test {

using win32_ui::FindProcessWindow;
using win32_ui::Join;
using win32_ui::WindowText;

int Percentage(const std::wstring& status) {
  if (status.size() < 2 || status.size() > 4 || status.back() != L'%') return -1;
  int value = 0;
  for (std::size_t i = 0; i + 1 < status.size(); ++i) {
    if (!std::iswdigit(status[i])) return -1;
    value = value * 10 + (status[i] - L'0');
  }
  return value;
}

Tool::Tool(const Sandbox& sandbox, const std::wstring& program, const std::wstring& arguments,
           const std::wstring& installDir, const std::wstring& workingDir)
    : sandbox_(sandbox),
      process_(sandbox.Install(program, installDir.empty() ? sandbox.dir() : installDir), arguments,
               workingDir.empty() ? (installDir.empty() ? sandbox.dir() : installDir) : workingDir,
               sandbox.desktopName()) {
  if (process_.started()) {
    // Found once shown: the title is set at creation, the controls only by the
    // dialog's initialisation, before it shows itself.
    WaitUntil([&] {
      dialog_ = FindProcessWindow(sandbox_.desktop(), process_.id(), kTitle);
      return dialog_ != nullptr || !process_.Running();
    });
  }
  if (dialog_ != nullptr) {
    // As the user's click on it would: the tool was started by a program that
    // is not on its desktop, so nothing there has made it the foreground window.
    win32_ui::Activate(sandbox_.desktop(), dialog_);
  } else {
    std::fwprintf(stderr, L"%ls: started %d, running %d, no dialog on desktop %ls\n", program.c_str(),
                  process_.started(), process_.Running(), sandbox_.desktopName().c_str());
  }
}

std::wstring Tool::Title() const { return WindowText(dialog_); }
std::wstring Tool::Status() const { return WindowText(GetDlgItem(dialog_, IDC_STATUS)); }
bool Tool::StartEnabled() const { return IsWindowEnabled(GetDlgItem(dialog_, IDC_START)) != FALSE; }
bool Tool::ExitEnabled() const { return IsWindowEnabled(GetDlgItem(dialog_, IDOK)) != FALSE; }

int Tool::ProgressPosition() const {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(GetDlgItem(dialog_, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, kDeadlineMs, &position);
  return static_cast<int>(position);
}

void Tool::ClickStart() const { PostMessageW(GetDlgItem(dialog_, IDC_START), BM_CLICK, 0, 0); }
void Tool::ClickExit() const { PostMessageW(GetDlgItem(dialog_, IDOK), BM_CLICK, 0, 0); }

void Tool::PressKey(WPARAM key) const {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  HWND target = dialog_;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &gui) && gui.hwndFocus != nullptr) {
    target = gui.hwndFocus;
  }
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

HWND Tool::WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs) const {
  HWND box = nullptr;
  const bool found = WaitUntil(
      [&] {
        box = FindProcessWindow(sandbox_.desktop(), process_.id(), caption);
        return box != nullptr && GetDlgItem(box, IDOK) != nullptr;
      },
      timeoutMs);
  return found ? box : nullptr;
}

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, kMessageBoxTextId)); }

void PressOk(HWND box) { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }

std::wstring ArtifactsDir() {
  const std::wstring relative = Join(win32_ui::BuildDir(), L"" TOOL_WIN_TEST_ARTIFACTS_DIR);
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
  return full;
}

bool KeepPicture(const Sandbox& sandbox, HWND window, RECT area, const std::wstring& name) {
  const std::wstring dir = ArtifactsDir();
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring path = Join(dir, name + L".png");
  if (win32_ui::WaitPainted(window) && win32_ui::CapturePng(sandbox.desktop(), area, path)) {
    std::fwprintf(stderr, L"screenshot: %ls\n", path.c_str());
    return true;
  }
  std::fwprintf(stderr, L"no screenshot %ls\n", path.c_str());
  return false;
}

}  // namespace tool_win_test
