#pragma once
// The programs may run from a folder anyone can drop files into (Downloads): no DLL
// is ever to be loaded from there or from the current folder.
#include <windows.h>

namespace afx {

// Call first thing in a program's entry: later loads by name search System32 only.
// Windows 7 SP1 has SetDefaultDllDirectories only with its DLL-search update, so it
// is looked up; without it, at least the current folder leaves the search.
inline void LoadDllsFromSystem32Only() {
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDirectories = reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDirectories == nullptr || !setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    ::SetDllDirectoryW(L"");
  }
}

}  // namespace afx
