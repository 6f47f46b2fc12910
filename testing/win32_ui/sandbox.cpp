#include "testing/win32_ui/sandbox.h"

#include <sstream>

#include "testing/win32_ui/paths.h"

namespace win32_ui {

namespace {

// Wine's explorer shows a desktop as a virtual desktop of the size it finds here
// under the desktop's name, when it first starts for that desktop.
constexpr wchar_t kWineDesktopSizes[] = L"Software\\Wine\\Explorer\\Desktops";

void SetShownSize(const std::wstring& desktop, SIZE size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kWineDesktopSizes, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const std::wstring value = std::to_wstring(size.cx) + L"x" + std::to_wstring(size.cy);
  RegSetValueExW(key, desktop.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void ForgetShownSize(const std::wstring& desktop) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineDesktopSizes, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, desktop.c_str());
  RegCloseKey(key);
}

}  // namespace

Sandbox::Sandbox(const std::wstring& prefix, DesktopMode mode, SIZE shownSize) : mode_(mode) {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  std::wstring base(temp, length);
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  // Never the name of an earlier sandbox: a desktop that is still being taken
  // down would not take new windows reliably.
  static unsigned sandboxes = 0;
  for (;;) {
    name_ = prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(sandboxes++);
    dir_ = Join(base, name_);
    if (CreateDirectoryW(dir_.c_str(), nullptr)) break;
  }
  if (mode_ == DesktopMode::kCallers) {
    desktop_ = GetThreadDesktop(GetCurrentThreadId());
    wchar_t name[256] = {};
    GetUserObjectInformationW(desktop_, UOI_NAME, name, sizeof name, nullptr);
    name_ = name;
    return;
  }
  if (mode_ == DesktopMode::kOwnShown) SetShownSize(name_, shownSize);
  desktop_ = CreateDesktopW(name_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

Sandbox::~Sandbox() {
  RemoveTree(dir_);
  if (mode_ == DesktopMode::kCallers) return;
  if (desktop_ != nullptr) CloseDesktop(desktop_);
  if (mode_ == DesktopMode::kOwnShown) ForgetShownSize(name_);
}

std::wstring Sandbox::MakeDir(const std::wstring& relative) const {
  std::wstring path = dir_;
  std::wstringstream parts(relative);
  std::wstring part;
  while (std::getline(parts, part, L'\\')) {
    if (part.empty()) continue;
    path = Join(path, part);
    CreateDirectoryW(Long(path).c_str(), nullptr);
  }
  return path;
}

std::wstring Sandbox::Install(const std::wstring& program, const std::wstring& dir,
                              const std::wstring& fileName) const {
  const std::wstring target = Join(dir, fileName.empty() ? program : fileName);
  CopyFileW(Long(Join(BuildDir(), program)).c_str(), Long(target).c_str(), FALSE);
  return target;
}

}  // namespace win32_ui
