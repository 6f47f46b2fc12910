#pragma once
// Helpers for tests that drive the real Win32 programs under Wine from outside, as
// a user would: sandboxes, started programs, window searches, waits with deadlines
// and pictures for people to look at.
#include "afx/win_types.h"

#include <functional>
#include <string>

#include "testing/wait_until.h"

namespace win32_ui {

// Long enough for a program to start under a busy Wine; a test that waits this long has failed anyway.
inline constexpr DWORD kDeadlineMs = 30000;

using testing_support::WaitUntil;

// A path as the build names it ($<TARGET_FILE:...>), as Windows does: under Wine, / is drive Z:.
std::wstring FromBuild(const char* path);
std::wstring Join(const std::wstring& dir, const std::wstring& name);
// A shipped program as the build names it, or its namesake in the folder that
// NIBFLASH_KIT names (a release's kit), so that the tests run the bytes shipped.
std::wstring Shipped(const char* path);

// A started program, ended if still running when destroyed.
class Process {
 public:
  Process(const std::wstring& program, const std::wstring& workingDir, const std::wstring& desktop,
          const std::wstring& arguments = L"");
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD id() const { return info_.dwProcessId; }
  bool Running() const { return !WaitForExit(0); }
  bool WaitForExit(DWORD timeoutMs = kDeadlineMs) const;
  DWORD ExitCode() const;

 private:
  PROCESS_INFORMATION info_{};
};

// A fresh directory, removed with its content at the end, and a desktop of the same
// name, so that tests running side by side never see each other's windows. A shown
// desktop is a Wine virtual desktop on the X display, where Wine draws captions and
// menus itself: pictures need one.
class Sandbox {
 public:
  explicit Sandbox(bool shown = true);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::wstring& dir() const { return dir_; }
  const std::wstring& desktopName() const { return name_; }
  HDESK desktop() const { return desktop_; }
  std::wstring MakeDir(const std::wstring& name) const;
  std::wstring Install(const std::wstring& file, const std::wstring& dir, const std::wstring& name) const;

 private:
  std::wstring name_;
  std::wstring dir_;
  HDESK desktop_ = nullptr;
  bool shown_;
};

// Attaches the calling thread, which must own no window yet, to `desktop`.
bool AttachToDesktop(HDESK desktop);
// The topmost shown window of process `pid` on `desktop` with this caption (or
// class) that `accept` (if given) takes, or null.
HWND FindProcessWindow(HDESK desktop, DWORD pid, const std::wstring& text, bool byClass = false,
                       const std::function<bool(HWND)>& accept = nullptr);
// That window of `process` once shown, or null if it ends or has none within the deadline.
HWND WaitForWindow(HDESK desktop, const Process& process, const std::wstring& text, bool byClass = false);
// Makes `hwnd` the foreground window of its desktop, as a click on it would.
void Activate(HDESK desktop, HWND hwnd);
std::wstring WindowText(HWND hwnd);
// Sends rather than posts, when the caller must know that the handler has run.
bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = kDeadlineMs);

// Once `window` is painted, keeps a picture of it with `over` (null: alone) as
// build/<build>/artifacts/<name>.png. Pictures are for people: a missing one is
// reported on stderr, never a test failure.
void KeepPicture(HDESK desktop, HWND window, HWND over, const std::wstring& name);

}  // namespace win32_ui
