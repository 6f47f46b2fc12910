// Takes pictures of the launcher's dialogs for people to look at: run inside a
// Wine virtual desktop (screenshots.sh), it drives the launcher and copies what
// the desktop shows into PNG files.
//   handover_screenshots <output-dir>
// Writes handover_main.png, handover_system_menu.png and handover_about.png, and
// returns 0 when all three were taken.
#include <cstdio>
#include <string>

#include "launcher/tests/launcher_harness.h"
#include "testing/win32_ui/screenshot.h"

using namespace handover_test;
using win32_ui::Union;
using win32_ui::WaitPainted;
using win32_ui::WindowRect;

namespace {

// The driver runs on the desktop it pictures.
bool Capture(RECT area, const std::wstring& path) { return win32_ui::CapturePng(nullptr, area, path); }

int Fail(const char* what) {
  std::fprintf(stderr, "handover_screenshots: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return Fail("usage: handover_screenshots <output-dir>");
  const std::wstring out = argv[1];
  Sandbox sandbox(false);
  sandbox.InstallTool(sandbox.dir());
  Launcher launcher(sandbox, sandbox.InstallLauncher(sandbox.dir()));
  const DWORD pid = launcher.process().id();
  if (launcher.dialog() == nullptr) return Fail("no main dialog");

  if (!WaitPainted(launcher.dialog())) return Fail("main dialog not painted");
  if (!Capture(WindowRect(launcher.dialog()), Join(out, L"handover_main.png"))) return Fail("main capture");

  PostMessageW(launcher.dialog(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
  HWND menu = nullptr;
  if (!WaitUntil([&] { return (menu = FindProcessWindowOfClass(sandbox.desktop(), pid, L"#32768")) != nullptr; }) ||
      !WaitPainted(menu)) {
    return Fail("no system menu");
  }
  // Highlight our entry, the last one, so that the picture shows where it is.
  PostMessageW(launcher.dialog(), WM_KEYDOWN, VK_UP, 0);
  Sleep(300);  // only for the picture: the highlight has no state to wait on
  if (!Capture(Union(WindowRect(launcher.dialog()), WindowRect(menu)), Join(out, L"handover_system_menu.png"))) {
    return Fail("menu capture");
  }

  PostMessageW(launcher.dialog(), WM_KEYDOWN, VK_RETURN, 0);
  HWND about = nullptr;
  if (!WaitUntil([&] { return (about = FindProcessWindow(sandbox.desktop(), pid, kAboutCaption)) != nullptr; }) ||
      !WaitPainted(about)) {
    return Fail("no about box");
  }
  if (!Capture(Union(WindowRect(launcher.dialog()), WindowRect(about)), Join(out, L"handover_about.png"))) {
    return Fail("about capture");
  }

  PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  WaitUntil([&] { return !IsWindow(about); });
  PostMessageW(launcher.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  return launcher.process().WaitForExit() ? 0 : Fail("launcher did not end");
}
