#include "testing/win32_ui/process.h"

namespace win32_ui {

Process::Process(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir,
                 const std::wstring& desktop) {
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  std::wstring desktopName = desktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!desktopName.empty()) startup.lpDesktop = desktopName.data();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info_)) {
    info_ = {};
  }
}

Process::~Process() {
  Terminate();
  if (info_.hThread != nullptr) CloseHandle(info_.hThread);
  if (info_.hProcess != nullptr) CloseHandle(info_.hProcess);
}

bool Process::Running() const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeoutMs) const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (info_.hProcess != nullptr) GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void Process::Terminate() {
  if (Running()) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, kDeadlineMs);
  }
}

}  // namespace win32_ui
