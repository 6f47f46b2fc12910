#include "launcher/handover_app.h"

#include <commctrl.h>

#include "launcher/handover_dlg.h"

BEGIN_MESSAGE_MAP(CHandoverApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CHandoverApp theApp;

BOOL CHandoverApp::InitInstance() {
  // Under the manifest's common controls 6 the control classes must be registered
  // before the dialog is built, or some systems show no dialog at all.
  INITCOMMONCONTROLSEX initCtrls;
  initCtrls.dwSize = sizeof(initCtrls);
  initCtrls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&initCtrls);

  CWinApp::InitInstance();
  AfxEnableControlContainer();
  // Kept from the wizard's defaults; the launcher stores nothing under it.
  SetRegistryKey(_T("应用程序向导生成的本地应用程序"));

  CHandoverDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  // FALSE ends the process here instead of entering the application's message loop.
  return FALSE;
}
