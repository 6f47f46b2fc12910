// Win32 backend of the window classes: dialogs from the module's templates,
// run by the system's dialog manager (DialogBoxParam), and the launcher's
// string table and system menu.
//
// OnCreate must run before the controls exist, but a dialog procedure never
// sees WM_CREATE: the dialog manager sets it after CreateWindowEx returns. So,
// as MFC does, DoModal installs a CBT hook for the one creation; the hook
// subclasses the dialog window as soon as it exists (HCBT_CREATEWND, before
// WM_NCCREATE), and from then on AfxWndProc hands every message to the CWnd.
// Default() passes on to the dialog manager's own procedure; the dialog
// procedure itself has nothing left to do.
#include <algorithm>

#include "afx/afxwin.h"

namespace {

thread_local CWnd* windowBeingCreated = nullptr;
thread_local HHOOK creationHook = nullptr;

INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

bool IsImeWindow(HWND hWnd) {
  TCHAR name[32] = {};
  ::GetClassName(hWnd, name, 32);
  return lstrcmpi(name, _T("IME")) == 0 || lstrcmpi(name, _T("MSCTFIME UI")) == 0;
}

void RemoveCreationHook() {
  if (creationHook != nullptr) {
    ::UnhookWindowsHookEx(creationHook);
    creationHook = nullptr;
  }
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  const HHOOK hook = creationHook;
  if (code == HCBT_CREATEWND && windowBeingCreated != nullptr) {
    const HWND hWnd = reinterpret_cast<HWND>(wParam);
    if (!IsImeWindow(hWnd)) {
      CWnd* wnd = windowBeingCreated;
      windowBeingCreated = nullptr;
      wnd->Attach(hWnd);
      wnd->m_pfnSuper = reinterpret_cast<WNDPROC>(
          ::SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
      RemoveCreationHook();
    }
  }
  return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;  // already running
  const HWND owner = GetOwnerForModal();
  windowBeingCreated = this;
  creationHook = ::SetWindowsHookEx(WH_CBT, &CreationHook, nullptr, ::GetCurrentThreadId());
  if (creationHook == nullptr) {
    windowBeingCreated = nullptr;
    return -1;
  }
  const INT_PTR result = ::DialogBoxParam(AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG), m_lpszTemplateName,
                                          owner, &AfxDlgProc, 0);
  // The template may be missing, so that no window was ever created.
  windowBeingCreated = nullptr;
  RemoveCreationHook();
  if (m_hWnd != nullptr) Detach();
  return result;
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
  const HMENU menu = ::GetSystemMenu(m_hWnd, bRevert);
  if (menu == nullptr) return nullptr;
  if (!m_systemMenu) m_systemMenu = std::make_unique<CMenu>();
  m_systemMenu->m_hMenu = menu;
  return m_systemMenu.get();
}

#ifdef UNICODE
BOOL CString::LoadString(UINT nID) {
  // A zero buffer size asks for a pointer to the resource's own text (not terminated).
  LPCWSTR text = nullptr;
  const int length = ::LoadStringW(AfxFindResourceHandle(MAKEINTRESOURCE(nID), RT_STRING), nID,
                                   reinterpret_cast<LPWSTR>(&text), 0);
  m_text.assign(length > 0 ? text : L"", static_cast<std::size_t>(std::max(length, 0)));
  return length > 0 ? TRUE : FALSE;
}
#endif
