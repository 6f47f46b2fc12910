#include "tool/nibflash_app.h"

#include "tool/nibflash_dlg.h"

#ifdef _WIN32
#include <commctrl.h>
#endif

BEGIN_MESSAGE_MAP(CNibflashApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CNibflashApp theApp;

BOOL CNibflashApp::InitInstance() {
#ifdef _WIN32
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  CWinApp::InitInstance();
  SetRegistryKey(_T("Local AppWizard-Generated Applications"));

  CNibflashDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  return FALSE;  // the dialog has ended: end the program instead of running a message loop
}
