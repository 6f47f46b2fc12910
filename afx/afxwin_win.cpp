// Win32 backend of the window classes: dialogs from the module's templates,
// run by the system's dialog manager (DialogBoxParam).
//
// OnCreate must run before the controls exist, but a dialog procedure never
// sees WM_CREATE: the dialog manager sets it after CreateWindowEx returns. So,
// as MFC does, DoModal installs a CBT hook for the one creation; the hook
// subclasses the dialog window as soon as it exists (HCBT_CREATEWND, before
// WM_NCCREATE), and from then on AfxWndProc hands every message to the CWnd.
// Default() passes on to the dialog manager's own procedure; the dialog
// procedure itself has nothing left to do.
#include <algorithm>
#include <cwctype>

#include "afx/afxwin.h"

namespace {

thread_local CWnd* windowBeingCreated = nullptr;
thread_local HHOOK creationHook = nullptr;

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (wnd == nullptr) return ::DefWindowProc(hWnd, message, wParam, lParam);
  return CWnd::CallWindowProcFor(wnd, hWnd, message, wParam, lParam);
}

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

namespace afx::detail {
std::basic_string<TCHAR> ExecutableBaseName() {
  TCHAR path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileName(nullptr, path, MAX_PATH);
  std::basic_string<TCHAR> name(path, std::min<DWORD>(length, MAX_PATH));
  const auto slash = name.find_last_of(_T("\\/"));
  if (slash != std::basic_string<TCHAR>::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind(_T('.'));
  if (dot != std::basic_string<TCHAR>::npos && dot > 0) name.erase(dot);
  return name;
}
}  // namespace afx::detail
