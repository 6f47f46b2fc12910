#include "tool/nibflash_app.h"

#include "tool/nibflash_dlg.h"

#ifdef _WIN32
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "usb/pen_channel.h"

namespace {
// As the isolation-aware entry point does: the function comes from the common
// controls library loaded at run time, while the module's activation context
// (its manifest asks for version 6) is the active one.
void InitCommonControlsAtRunTime() {
  // From System32 only, as every load; Windows 7 without its DLL-search update
  // rejects the flag, and there the manifest's side-by-side dependency decides.
  HMODULE library = ::LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) library = ::LoadLibraryW(L"comctl32.dll");
  if (library == nullptr) return;
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init =
      reinterpret_cast<InitFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  init(&controls);
}
}  // namespace
#endif

BEGIN_MESSAGE_MAP(CNibflashApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CNibflashApp theApp;

BOOL CNibflashApp::InitInstance() {
#ifdef _WIN32
  InitCommonControlsAtRunTime();
#endif
#ifdef NIBFLASH_RECORD_OPTION
  // The shipped tool's one option, `--record FILE`: the driver's traffic, for replay.
  if (__argc == 3 && std::strcmp(__argv[1], "--record") == 0 && !RecordPenTraffic(__argv[2])) {
    const std::string text = std::string("Cannot write the traffic record ") + __argv[2];
    ::MessageBoxA(nullptr, text.c_str(), "Nibflash", MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
#endif
  CWinApp::InitInstance();
  SetRegistryKey(_T("Local AppWizard-Generated Applications"));

  CNibflashDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  return FALSE;  // the dialog has ended: end the program instead of running a message loop
}
