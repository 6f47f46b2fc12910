// The virtual-pen Windows build: the real tool with virtual pens instead of the
// driver. Its entry point puts the pens its command line asks for on the virtual
// bus, then runs the tool as the shipped program's entry does.
#include <string>

#include "afx/afxwin.h"
#include "afx/dll_search_win.h"
#include "demo/virtual_pen_options.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  afx::LoadDllsFromSystem32Only();
  VirtualPenSetup setup;
  std::vector<std::string> rest;
  std::string error;
  std::shared_ptr<virtualpen::ReplayedPen> player;
  if (!ParseVirtualPenOptions(__argc, __argv, setup, rest, error) || !rest.empty() ||
      !ApplyVirtualPenSetup(setup, error, nullptr, &player)) {
    if (error.empty()) error = "unknown option: " + rest.front();
    const std::string text = error + "\n\n" + kVirtualPenUsage;
    MessageBoxA(nullptr, text.c_str(), "nibflash_virtual_pen", MB_OK | MB_ICONEXCLAMATION);
    return 2;
  }
  const int result = AfxWinMain();
  const std::string verdict = player ? player->Verdict() : std::string();
  if (verdict.empty()) return result;
  MessageBoxA(nullptr, verdict.c_str(), "nibflash_virtual_pen", MB_OK | MB_ICONEXCLAMATION);
  return 4;
}
