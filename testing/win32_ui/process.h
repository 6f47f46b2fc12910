#pragma once
#include <string>

#include "testing/win32_ui/wait.h"
#include "testing/win32_ui/win32.h"

namespace win32_ui {

// A started program; ended (if still running) and released on destruction.
class Process {
 public:
  // `desktop` names the desktop its windows go to; empty: the caller's.
  Process(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir,
          const std::wstring& desktop = L"");
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  DWORD id() const { return info_.dwProcessId; }
  bool Running() const;
  bool WaitForExit(DWORD timeoutMs = kDeadlineMs) const;
  // The exit code once it has ended; STILL_ACTIVE before.
  DWORD ExitCode() const;
  void Terminate();

 private:
  PROCESS_INFORMATION info_{};
};

}  // namespace win32_ui
