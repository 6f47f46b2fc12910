#pragma once
#include <string>

#include "testing/win32_ui/win32.h"

namespace win32_ui {

// Where the windows of the programs of one sandbox go.
enum class DesktopMode {
  kCallers,  // the caller's desktop (a test that runs inside a virtual desktop itself)
  kOwn,      // a desktop of their own, never shown: window searches see only its windows
  kOwnShown  // the same, shown as a Wine virtual desktop on the X display: Wine draws
             // the captions itself there, which Xvfb without a window manager would not
};

// A fresh directory under the temporary folder, removed with its content at the
// end, and a desktop of the same name for the programs of one test.
class Sandbox {
 public:
  explicit Sandbox(const std::wstring& prefix, DesktopMode mode = DesktopMode::kOwn, SIZE shownSize = {640, 360});
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::wstring& dir() const { return dir_; }
  const std::wstring& desktopName() const { return name_; }
  HDESK desktop() const { return desktop_; }
  // Makes dir/relative (and its parents); returns its full path.
  std::wstring MakeDir(const std::wstring& relative) const;
  // Copies BuildDir()/`program` into `dir` as `fileName` (default: the same name); returns the copy's path.
  std::wstring Install(const std::wstring& program, const std::wstring& dir, const std::wstring& fileName = L"") const;

 private:
  std::wstring name_;
  std::wstring dir_;
  HDESK desktop_ = nullptr;
  DesktopMode mode_;
};

}  // namespace win32_ui
