// Stands in for the upgrade tool in the launcher's tests. Installed beside the
// launcher under the tool's file name, it appends one line per start to
// tool_starts.txt in its own directory:
//   argc=<n>|args=<arguments after the program name>|cwd=<working directory>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t module[32768];
  const DWORD length = GetModuleFileNameW(nullptr, module, 32768);
  if (length == 0 || length >= 32768) return 1;
  std::wstring dir(module, length);
  dir.resize(dir.find_last_of(L'\\'));

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring args;
  for (int i = 1; argv != nullptr && i < argc; ++i) args += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
  LocalFree(argv);

  wchar_t cwd[32768];
  if (GetCurrentDirectoryW(32768, cwd) == 0) cwd[0] = 0;

  const std::wstring line = L"argc=" + std::to_wstring(argc) + L"|args=" + args + L"|cwd=" + cwd + L"\n";
  const int wideLength = static_cast<int>(line.size());
  std::string utf8(line.size() * 3, '\0');
  utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, line.c_str(), wideLength, utf8.data(),
                                                           static_cast<int>(utf8.size()), nullptr, nullptr)));
  FILE* file = _wfopen((dir + L"\\tool_starts.txt").c_str(), L"ab");
  if (file == nullptr) return 1;
  const bool ok = std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size();
  return std::fclose(file) == 0 && ok ? 0 : 1;
}
