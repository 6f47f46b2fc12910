#include "testing/win32_ui/win32_ui.h"

#include <algorithm>
#include <cwctype>

namespace win32_ui {

namespace {

// The \\?\ form of a full path, which lifts the MAX_PATH limit of file operations.
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Long(Join(dir, L"*")).c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(Join(dir, name));
      } else {
        DeleteFileW(Long(Join(dir, name)).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(Long(dir).c_str());
}

// Wine's explorer shows a desktop as a virtual desktop of the size it finds here
// under the desktop's name, when it first starts for that desktop.
constexpr wchar_t kWineDesktopSizes[] = L"Software\\Wine\\Explorer\\Desktops";

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

std::wstring FromBuild(const char* path) {
  std::wstring wide(path, path + std::char_traits<char>::length(path));  // build paths are ASCII
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide.rfind(L"\\", 0) == 0 ? L"Z:" + wide : wide;
}

std::wstring Join(const std::wstring& dir, const std::wstring& name) { return dir + L"\\" + name; }

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

Process::Process(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir,
                 const std::wstring& desktop) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  std::wstring desktopName = desktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopName.data();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDir.c_str(),
                      &startup, &info_)) {
    info_ = {};
  }
}

Process::~Process() {
  if (Running()) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, kDeadlineMs);
  }
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

Sandbox::Sandbox(bool shown) : shown_(shown) {
  wchar_t temp[MAX_PATH];
  std::wstring base(temp, GetTempPathW(MAX_PATH, temp));
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  // Never the name of an earlier sandbox: a desktop that is still being taken
  // down would not take new windows reliably.
  static unsigned sandboxes = 0;
  do {
    name_ = L"nibflash-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(sandboxes++);
    dir_ = Join(base, name_);
  } while (!CreateDirectoryW(dir_.c_str(), nullptr));
  if (shown_) {
    const std::wstring size = L"640x360";
    RegSetKeyValueW(HKEY_CURRENT_USER, kWineDesktopSizes, name_.c_str(), REG_SZ, size.c_str(),
                    static_cast<DWORD>((size.size() + 1) * sizeof(wchar_t)));
  }
  desktop_ = CreateDesktopW(name_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

Sandbox::~Sandbox() {
  RemoveTree(dir_);
  if (desktop_ != nullptr) CloseDesktop(desktop_);
  if (shown_) RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineDesktopSizes, name_.c_str());
}

std::wstring Sandbox::MakeDir(const std::wstring& relative) const {
  std::wstring path = dir_;
  for (std::size_t start = 0, end; start < relative.size(); start = end + 1) {
    end = std::min(relative.find(L'\\', start), relative.size());
    if (end == start) continue;
    path = Join(path, relative.substr(start, end - start));
    CreateDirectoryW(Long(path).c_str(), nullptr);
  }
  return path;
}

std::wstring Sandbox::Install(const std::wstring& file, const std::wstring& dir, const std::wstring& name) const {
  const std::wstring target = Join(dir, name);
  CopyFileW(Long(file).c_str(), Long(target).c_str(), FALSE);
  return target;
}

}  // namespace win32_ui
