// Headless backend of the window classes: CDialog::DoModal over the in-memory
// dialog manager of afx/headless/. The dialog is taken over as soon as its
// window exists, so OnCreate runs before its controls exist, as with real windows.
#include "afx/afxwin.h"
#include "afx/headless/window_system.h"

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;  // already running
  const INT_PTR result = afx::headless::detail::DialogBoxWithHook(
      m_lpszTemplateName, GetOwnerForModal(), [this](HWND hWnd, WNDPROC classProc) {
        Attach(hWnd);
        m_pfnSuper = classProc;
        return &AfxWndProc;
      });
  if (m_hWnd != nullptr) Detach();
  return result;
}
