// The program entry of a Win32 program built on the window classes: it runs the
// one global application object. Kept apart so that only a program without a
// main of its own (not a test) links it. WinMain serves both character sets
// (nothing reads the command line); wWinMain is there for -municode links.
#include <cstddef>

#include "afx/afxwin.h"
#include "afx/dll_search_win.h"

// The loader's configuration for the programs that start here. Its
// DependentLoadFlags (Windows 10 1607 and later) resolve the static imports from
// System32 only, before any code runs; this linker has no --dependent-load-flag.
// It ends before the SafeSEH fields, so exception handling stays as it was.
namespace {
constexpr IMAGE_LOAD_CONFIG_DIRECTORY MakeLoadConfig() {
  IMAGE_LOAD_CONFIG_DIRECTORY config{};
  config.Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, SEHandlerTable);
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;  // the field is DependentLoadFlags
  return config;
}
}  // namespace
extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = MakeLoadConfig();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  afx::LoadDllsFromSystem32Only();
  return AfxWinMain();
}

#ifdef UNICODE
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  afx::LoadDllsFromSystem32Only();
  return AfxWinMain();
}
#endif
