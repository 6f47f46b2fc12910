#include "testing/win32_ui/win32_ui.h"

#include <algorithm>
#include <thread>

namespace win32_ui {

namespace {

// The \\?\ form of a full path, which lifts the MAX_PATH limit of file operations.
std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Long(Join(dir, L"*")).c_str(), &data);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(Join(dir, name));
    DeleteFileW(Long(Join(dir, name)).c_str());
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  RemoveDirectoryW(Long(dir).c_str());
}

// Wine's explorer shows a desktop as a virtual desktop of the size it finds here
// under the desktop's name.
constexpr wchar_t kWineDesktopSizes[] = L"Software\\Wine\\Explorer\\Desktops";

struct Search {
  DWORD pid;
  const std::wstring* wanted;
  bool byClass;
  const std::function<bool(HWND)>* accept;
  HWND found;
};

// A named function, not a lambda: a lambda does not take the system's calling
// convention on 32-bit x86.
BOOL CALLBACK CheckWindow(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<Search*>(lParam);
  wchar_t className[256] = {};
  GetClassNameW(hwnd, className, 256);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != s->pid || !(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) return TRUE;
  if (*s->wanted != (s->byClass ? std::wstring(className) : WindowText(hwnd))) return TRUE;
  if (*s->accept && !(*s->accept)(hwnd)) return TRUE;
  s->found = hwnd;
  return FALSE;
}

}  // namespace

std::wstring FromBuild(const char* path) {
  std::wstring wide(path, path + std::char_traits<char>::length(path));  // build paths are ASCII
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide.rfind(L"\\", 0) == 0 ? L"Z:" + wide : wide;
}

std::wstring Join(const std::wstring& dir, const std::wstring& name) { return dir + L"\\" + name; }

std::wstring Shipped(const char* path) {
  const std::wstring built = FromBuild(path);
  char kit[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("NIBFLASH_KIT", kit, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return built;
  return Join(FromBuild(kit), built.substr(built.rfind(L'\\') + 1));
}

Process::Process(const std::wstring& program, const std::wstring& workingDir, const std::wstring& desktop,
                 const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  std::wstring desktopName = desktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopName.data();
  CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDir.c_str(),
                 &startup, &info_);
}

Process::~Process() {
  if (info_.hProcess == nullptr) return;
  TerminateProcess(info_.hProcess, 1);  // fails harmlessly once it has ended
  WaitForExit();
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool Process::WaitForExit(DWORD timeoutMs) const {
  return info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

Sandbox::Sandbox(bool shown) : shown_(shown) {
  wchar_t temp[MAX_PATH];
  const std::wstring base(temp, GetTempPathW(MAX_PATH, temp) - 1);
  // Never the name of an earlier sandbox: a desktop still being taken down would
  // not take new windows reliably. Nor of an earlier test program's: Wine gives a
  // new process the id of one that has ended, so the name has the start time too.
  static const std::wstring process =
      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
  static unsigned sandboxes = 0;
  do {
    name_ = L"nibflash-" + process + L"-" + std::to_wstring(sandboxes++);
    dir_ = Join(base, name_);
  } while (!CreateDirectoryW(dir_.c_str(), nullptr));
  if (shown_) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kWineDesktopSizes, name_.c_str(), REG_SZ, L"640x360", sizeof L"640x360");
  }
  desktop_ = CreateDesktopW(name_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

Sandbox::~Sandbox() {
  RemoveTree(dir_);
  CloseDesktop(desktop_);
  if (shown_) RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineDesktopSizes, name_.c_str());
}

std::wstring Sandbox::MakeDir(const std::wstring& name) const {
  CreateDirectoryW(Long(Join(dir_, name)).c_str(), nullptr);
  return Join(dir_, name);
}

std::wstring Sandbox::Install(const std::wstring& file, const std::wstring& dir, const std::wstring& name) const {
  CopyFileW(Long(file).c_str(), Long(Join(dir, name)).c_str(), FALSE);
  return Join(dir, name);
}

bool AttachToDesktop(HDESK desktop) {
  wchar_t name[256] = {};
  // A handle of the thread's own: Wine closes a thread's desktop handle when the
  // thread ends, and the sandbox's must outlive it.
  HDESK own = GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, nullptr)
                  ? OpenDesktopW(name, 0, FALSE, GENERIC_ALL)
                  : nullptr;
  return own != nullptr && SetThreadDesktop(own);
}

HWND FindProcessWindow(HDESK desktop, DWORD pid, const std::wstring& text, bool byClass,
                       const std::function<bool(HWND)>& accept) {
  Search search{pid, &text, byClass, &accept, nullptr};
  EnumDesktopWindows(desktop, &CheckWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(HDESK desktop, const Process& process, const std::wstring& text, bool byClass) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindProcessWindow(desktop, process.id(), text, byClass)) || !process.Running(); });
  return found;
}

void Activate(HDESK desktop, HWND hwnd) {
  // From a thread of that desktop. Wine does not redraw the caption of a window that
  // was already its thread's active one when the thread gains the foreground: ask for it.
  std::thread([&] {
    if (AttachToDesktop(desktop) && SetForegroundWindow(hwnd)) SendWithin(hwnd, WM_NCACTIVATE, TRUE, 0);
  }).join();
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = {};
  return std::wstring(text, static_cast<std::size_t>(std::max(GetWindowTextW(hwnd, text, 1024), 0)));
}

bool SendWithin(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
}

}  // namespace win32_ui
